#pragma once

// Helpers for the widget tests: a scratch working directory with slice files,
// answering Qt's own modal dialogs from a timer, and comparing what a view
// shows on screen with its RGB buffer.
#include "SliceFiles.h"

#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QImage>
#include <QLineEdit>
#include <QMessageBox>
#include <QOpenGLWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace guitest {

// Grey value of column x, row y of slice z in the test stacks: a diagonal
// ramp shifted per slice, so every slice and both mirror axes differ.
inline int testGrey(int x, int y, int z)
{
    return (x + 2 * y + 37 * z) % 256;
}

// Writes `count` raw slices of testGrey into dir (created if missing).
inline void writeTestStack(const std::filesystem::path& dir, int count, int zOffset = 0)
{
    std::filesystem::create_directories(dir);
    for (int z = 0; z < count; ++z) {
        std::vector<std::uint16_t> samples(256 * 256);
        for (int y = 0; y < 256; ++y)
            for (int x = 0; x < 256; ++x)
                samples[y * 256 + x] = static_cast<std::uint16_t>(testGrey(x, y, z + zOffset) * 16);
        slicefiles::writeFile((dir / slicefiles::sliceName(z, "")).string(),
                              slicefiles::rawSlice(samples));
    }
}

// Runs the test inside a fresh directory (the program reads ./data/), and
// returns to the previous one afterwards.
class ScratchCwd {
public:
    const std::filesystem::path& path() const { return dir_.path(); }

private:
    testfiles::TempDir dir_;
    testfiles::WorkingDir inside_{dir_.path()};
};

// Calls `act` with the next modal dialog of type T once it is open.
template <class T> void onNextModal(std::function<void(T*)> act)
{
    auto* timer = new QTimer(qApp);
    QObject::connect(timer, &QTimer::timeout, [timer, act] {
        if (auto* dialog = qobject_cast<T*>(QApplication::activeModalWidget());
            dialog && dialog->isVisible()) {
            timer->stop();
            timer->deleteLater();
            act(dialog);
        }
    });
    timer->start(20);
}

// Types `answer` into the next file dialog and accepts it; an empty answer cancels.
inline void answerFileDialog(const QString& answer)
{
    onNextModal<QFileDialog>([answer](QFileDialog* dialog) {
        if (answer.isEmpty()) {
            dialog->reject();
            return;
        }
        auto* edit = dialog->findChild<QLineEdit*>("fileNameEdit");
        if (edit)
            edit->setText(answer);
        dialog->selectFile(answer);
        QMetaObject::invokeMethod(dialog, "accept");
    });
}

// The child button of a control with the given text ("+", "-", ...).
inline QPushButton* stepButton(QWidget* control, const QString& text)
{
    for (QPushButton* button : control->findChildren<QPushButton*>())
        if (button->text() == text)
            return button;
    return nullptr;
}

// The int values a spy has heard, in order.
inline std::vector<int> heard(const QSignalSpy& spy)
{
    std::vector<int> values;
    for (const QList<QVariant>& args : spy)
        values.push_back(args.at(0).toInt());
    return values;
}

// Pixel (x, y) of the on-screen picture of a 256 x 256 view, y counted from the top.
inline QRgb screenPixel(const QImage& frame, int x, int yFromTop)
{
    return frame.pixel(x, yFromTop);
}

// Number of pixels where the view's framebuffer differs from its RGB buffer
// drawn bottom row first.
inline int screenMismatches(QOpenGLWidget* view, const std::uint8_t* rgb, int side)
{
    QImage frame = view->grabFramebuffer().convertToFormat(QImage::Format_RGB32);
    if (frame.width() < side || frame.height() < side)
        return side * side;
    int bad = 0;
    for (int row = 0; row < side; ++row)
        for (int col = 0; col < side; ++col) {
            const std::uint8_t* p = rgb + 3 * (row * side + col);
            QRgb q = frame.pixel(col, side - 1 - row);
            if (qRed(q) != p[0] || qGreen(q) != p[1] || qBlue(q) != p[2])
                ++bad;
        }
    return bad;
}

// A view whose stack holds no slices: its RGB buffer is black, and its screen
// is black but for the grey text of the hint, which sits in the middle.
inline testing::AssertionResult showsOnlyTheEmptyStackHint(QOpenGLWidget* view,
                                                           const std::uint8_t* rgb, int side)
{
    for (int i = 0; i < side * side * 3; ++i)
        if (rgb[i] != 0)
            return testing::AssertionFailure() << "RGB byte " << i << " is " << int(rgb[i]);
    const QImage frame = view->grabFramebuffer().convertToFormat(QImage::Format_RGB32);
    if (frame.width() != side || frame.height() != side)
        return testing::AssertionFailure() << "grab of " << frame.width() << "x" << frame.height();
    int lit = 0;
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x) {
            const QRgb p = frame.pixel(x, y);
            if ((p & 0xFFFFFF) == 0)
                continue;
            ++lit;
            const bool inMiddle = y >= side / 5 && y < side - side / 5 && x >= 4 && x < side - 4;
            if (!inMiddle || qRed(p) != qGreen(p) || qGreen(p) != qBlue(p))
                return testing::AssertionFailure()
                       << "pixel (" << x << ", " << y << ") is " << std::hex << (p & 0xFFFFFF);
        }
    // A few lines of text light hundreds of pixels; a stray dot is no hint.
    if (lit < 300)
        return testing::AssertionFailure() << "only " << lit << " pixels of hint";
    return testing::AssertionSuccess();
}

} // namespace guitest
