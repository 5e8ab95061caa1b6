#include "gui/views/EmptyStackHint.h"

#include <QColor>
#include <QDir>
#include <QFontMetrics>
#include <QImage>
#include <QOpenGLWidget>
#include <QPainter>
#include <QStringList>

#include <GL/gl.h>

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

    // Drawn on the CPU and put on the screen as one picture: a painter on the
    // view itself would start Qt's OpenGL paint engine, whose shaders cost a
    // software renderer a tenth of a second at start-up.
    const qreal ratio = view.devicePixelRatioF();
    QImage picture(view.size() * ratio, QImage::Format_RGBA8888);
    picture.setDevicePixelRatio(ratio);
    picture.fill(Qt::black);
    QPainter painter(&picture);
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
    painter.end();

    // GL draws the bottom row first. In the slices' pixel format, RGB bytes,
    // the driver reuses what it keeps for drawing the slices: an RGBA
    // picture would make a software renderer hold another megabyte a view.
    const QImage rows = picture.convertToFormat(QImage::Format_RGB888).mirrored(false, true);
    glClear(GL_COLOR_BUFFER_BIT);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4); // QImage rows are padded to four bytes
    glPixelZoom(1, 1);
    glDrawPixels(rows.width(), rows.height(), GL_RGB, GL_UNSIGNED_BYTE, rows.constBits());
    glFlush();
}
