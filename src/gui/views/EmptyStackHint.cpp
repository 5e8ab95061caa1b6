#include "gui/views/EmptyStackHint.h"

#include <QColor>
#include <QDir>
#include <QFontMetrics>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QOpenGLWidget>
#include <QPainter>
#include <QStringList>

namespace {

constexpr int kMargin = 12;
constexpr int kLineGap = 4;
constexpr int kFolderLine = 1;

} // namespace

QString displayedDirectory(const char* directory)
{
    return QDir::cleanPath(QDir::current().absoluteFilePath(QString::fromLocal8Bit(directory)));
}

void drawEmptyStackHint(QOpenGLWidget& view, const QString& directory)
{
    const QStringList lines{
        QStringLiteral("No slices in"),
        directory,
        QString(),
        QStringLiteral("Open a slice folder or a scan with"),
        QString::fromUtf8("File \u2192 Open\u2026"),
        QString::fromUtf8("Volume \u2192 Open Volume\u2026"),
    };

    // The painter uploads its glyphs with GL's default row alignment, which
    // the RGB drawing changed to 1.
    QOpenGLFunctions* gl = view.context()->functions();
    gl->glPixelStorei(GL_UNPACK_ALIGNMENT, 4);

    QPainter painter(&view);
    painter.setRenderHint(QPainter::TextAntialiasing);
    QFont font = painter.font();
    font.setPointSizeF(9);
    painter.setFont(font);
    const QFontMetrics metrics(font);
    const int width = view.width() - 2 * kMargin;
    const int lineHeight = metrics.height() + kLineGap;
    int y = (view.height() - lineHeight * static_cast<int>(lines.size())) / 2;
    for (int n = 0; n < lines.size(); ++n, y += lineHeight) {
        // The folder is the line a user reads first; the rest is dimmer.
        painter.setPen(n == kFolderLine ? QColor(230, 230, 230) : QColor(150, 150, 150));
        const QString text = metrics.elidedText(lines[n], Qt::ElideMiddle, width);
        painter.drawText(QRect(kMargin, y, width, lineHeight), Qt::AlignCenter, text);
    }
}
