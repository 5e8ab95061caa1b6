#pragma once

// Helpers for the widget tests: a scratch working directory with slice files,
// showing windows and answering Qt's own modal dialogs without depending on
// the machine's speed, and the one comparison of what a view shows on screen.
#include "SliceFiles.h"
#include "core/common/SliceGeometry.h"

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QImage>
#include <QLineEdit>
#include <QMessageBox>
#include <QOpenGLWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

// Failure messages show a QString as its text.
inline void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}

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
        std::vector<std::uint16_t> samples(lumidra::kSliceSamples);
        for (int y = 0; y < lumidra::kSliceSide; ++y)
            for (int x = 0; x < lumidra::kSliceSide; ++x)
                samples[lumidra::gridIndex(x, y, 0, lumidra::kSliceSide, lumidra::kSliceSide)] =
                    static_cast<std::uint16_t>(testGrey(x, y, z + zOffset) * 16);
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

// How long a window may take to appear. Generous, for a
// sanitizer build on a machine kept busy by other jobs: the waits end as soon
// as the window is there, so a quick machine never spends it.
constexpr int kWindowWaitMs = 60'000;

// Shows a top-level widget (if it is not yet) and waits until the X server
// has exposed it.
inline testing::AssertionResult shown(QWidget& window)
{
    window.show();
    if (QTest::qWaitForWindowExposed(&window, kWindowWaitMs))
        return testing::AssertionSuccess();
    return testing::AssertionFailure() << "the window was not exposed";
}

// Makes a shown window the one that gets the keyboard, as a click on it
// would, without asking the X server: the widget tests share one display,
// and a test in another process may take the X focus at any moment.
inline void makeActive(QWidget& window)
{
    QT_WARNING_PUSH
    QT_WARNING_DISABLE_DEPRECATED
    QApplication::setActiveWindow(&window);
    QT_WARNING_POP
}

// How long a command's dialog may take to open, and to close once answered,
// before the test gives up on it: a few seconds, well past what building a
// dialog costs on a busy machine.
constexpr int kDialogWaitMs = 10'000;

namespace detail {

// Closes whatever modal widget is open, innermost first, so that a command
// stuck in a dialog's event loop returns.
inline void closeModals()
{
    for (int nested = 0; nested < 8; ++nested) {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal)
            return;
        if (auto* dialog = qobject_cast<QDialog*>(modal))
            dialog->reject();
        else
            modal->close();
        if (QApplication::activeModalWidget() == modal)
            modal->hide();
    }
}

} // namespace detail

// Runs `command`, which must open a modal dialog of type T, and hands that
// dialog to `answer`. The test fails with a message, instead of hanging, when
// no such dialog opens within waitMs, or when the dialog is still open waitMs
// after the answer (for instance a file dialog refusing a name it cannot
// find): whatever is then open is closed so that the command returns.
template <class T>
void answerModal(const char* what, const std::function<void()>& command,
                 const std::function<void(T*)>& answer, int waitMs = kDialogWaitMs)
{
    bool answered = false;
    std::string problem;
    QElapsedTimer clock;
    clock.start();
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* dialog = qobject_cast<T*>(QApplication::activeModalWidget());
        if (!answered && dialog && dialog->isVisible()) {
            answered = true;
            clock.restart();
            // Queued, so that this poll keeps running should the answer open
            // a dialog of its own (a timer's slot is never re-entered).
            QMetaObject::invokeMethod(
                dialog, [answer, dialog] { answer(dialog); }, Qt::QueuedConnection);
            return;
        }
        if (clock.elapsed() < waitMs || !problem.empty())
            return;
        problem = answered ? std::string("a modal dialog was still open ") +
                                 std::to_string(waitMs) + " ms after " + what + " was answered"
                           : std::string("no ") + what + " opened within " +
                                 std::to_string(waitMs) + " ms";
        detail::closeModals();
    });
    poll.start(20);
    command();
    poll.stop();
    if (!answered && problem.empty())
        problem = std::string("the command returned without opening ") + what;
    if (!problem.empty())
        ADD_FAILURE() << problem;
}

// Runs a command that opens a file dialog and answers it: the answer is typed
// into the dialog and accepted; an empty answer cancels.
inline void answerFileDialog(const QString& answer, const std::function<void()>& command)
{
    answerModal<QFileDialog>("a file dialog", command, [answer](QFileDialog* dialog) {
        if (answer.isEmpty()) {
            dialog->reject();
            return;
        }
        if (auto* edit = dialog->findChild<QLineEdit*>("fileNameEdit"))
            edit->setText(answer);
        dialog->selectFile(answer);
        QMetaObject::invokeMethod(dialog, "accept");
    });
}

// The caption and text of the message box a command opens; the box is closed.
struct MessageShown {
    QString title;
    QString text;
};
inline MessageShown answerMessageBox(const std::function<void()>& command)
{
    MessageShown shownBox;
    answerModal<QMessageBox>("a message box", command, [&shownBox](QMessageBox* box) {
        shownBox = {box->windowTitle(), box->text()};
        box->accept();
    });
    return shownBox;
}

// Runs a command that must open no modal dialog; any that opens is closed
// and counted, so a wrong dialog fails the test rather than hanging it.
inline int modalsOpenedBy(const std::function<void()>& command)
{
    int opened = 0;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (QApplication::activeModalWidget()) {
            ++opened;
            detail::closeModals();
        }
    });
    poll.start(20);
    command();
    poll.stop();
    return opened;
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

// Colour of slice sample (x, y) in a view's RGB buffer. The pixel order is
// its own inverse: the pixel that shows sample s is sampleOfPixel(s).
template <class View> std::array<int, 3> viewColour(const View* view, int x, int y)
{
    const int pixel = lumidra::sampleOfPixel(
        lumidra::gridIndex(x, y, 0, lumidra::kSliceSide, lumidra::kSliceSide));
    const std::uint8_t* p = view->rgbBuffer() + 3 * pixel;
    return {p[0], p[1], p[2]};
}

// What a view should show at (x, y) of its own area, y counted from the top.
using ScreenColour = std::function<QRgb(int x, int y)>;

// What a view shows on screen, one pixel per pixel of the view. At a device
// pixel ratio r the framebuffer has r x r pixels for each pixel of the view;
// the one at the centre of each is taken, which also works for a ratio such
// as 1.5. Fails when the framebuffer is not the view's size at that ratio.
inline testing::AssertionResult screenPixels(QOpenGLWidget& view, QImage& pixels)
{
    const QImage shot = view.grabFramebuffer().convertToFormat(QImage::Format_RGB32);
    const double ratio = view.devicePixelRatioF();
    if (shot.width() != static_cast<int>(std::lround(view.width() * ratio)) ||
        shot.height() != static_cast<int>(std::lround(view.height() * ratio)))
        return testing::AssertionFailure()
               << "the grab is " << shot.width() << " x " << shot.height() << " for a view of "
               << view.width() << " x " << view.height() << " at ratio " << ratio;
    pixels = QImage(view.width(), view.height(), QImage::Format_RGB32);
    for (int y = 0; y < view.height(); ++y)
        for (int x = 0; x < view.width(); ++x)
            pixels.setPixel(x, y,
                            shot.pixel(static_cast<int>((x + 0.5) * ratio),
                                       static_cast<int>((y + 0.5) * ratio)) |
                                0xFF000000);
    return testing::AssertionSuccess();
}

// The one comparison of a view's screen with what it should show.
inline testing::AssertionResult screenShows(QOpenGLWidget& view, const ScreenColour& expected)
{
    QImage shot;
    if (testing::AssertionResult grabbed = screenPixels(view, shot); !grabbed)
        return grabbed;
    int wrong = 0;
    std::string first;
    for (int y = 0; y < view.height(); ++y)
        for (int x = 0; x < view.width(); ++x) {
            const QRgb got = shot.pixel(x, y) & 0xFFFFFF;
            const QRgb want = expected(x, y) & 0xFFFFFF;
            if (got != want && wrong++ == 0)
                first = "at (" + std::to_string(x) + ", " + std::to_string(y) + ") got " +
                        QString::number(got, 16).toStdString() + ", want " +
                        QString::number(want, 16).toStdString();
        }
    if (wrong)
        return testing::AssertionFailure() << wrong << " pixels wrong, first " << first;
    return testing::AssertionSuccess();
}

// The same for a square RGB image drawn as the views draw their buffers: the
// image's first row at the bottom.
inline testing::AssertionResult screenShowsRgb(QOpenGLWidget& view, const std::uint8_t* rgb,
                                               int side)
{
    if (view.width() != side || view.height() != side)
        return testing::AssertionFailure() << "a view of " << view.width() << " x " << view.height()
                                           << " for an image of side " << side;
    return screenShows(view, [rgb, side](int x, int y) {
        const std::uint8_t* p = rgb + 3 * ((side - 1 - y) * side + x);
        return qRgb(p[0], p[1], p[2]);
    });
}

// A view whose stack holds no slices: its RGB buffer is black, and its screen
// is black but for the grey text of the hint, which sits in the middle.
inline testing::AssertionResult showsOnlyTheEmptyStackHint(QOpenGLWidget* view,
                                                           const std::uint8_t* rgb, int side)
{
    for (int i = 0; i < side * side * 3; ++i)
        if (rgb[i] != 0)
            return testing::AssertionFailure() << "RGB byte " << i << " is " << int(rgb[i]);
    QImage frame;
    if (view->width() != side || view->height() != side)
        return testing::AssertionFailure()
               << "a view of " << view->width() << " x " << view->height();
    if (testing::AssertionResult grabbed = screenPixels(*view, frame); !grabbed)
        return grabbed;
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
