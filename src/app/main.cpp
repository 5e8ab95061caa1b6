#include "gui/app/MainWidget.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDirIterator>
#include <QEvent>
#include <QIcon>

namespace {

// The theme's icon once Lumidra is installed; the copy built into the program
// when it runs from the build folder.
QIcon applicationIcon()
{
    QIcon builtIn;
    QDirIterator sizes(":/icons", {"*.png"}, QDir::Files, QDirIterator::Subdirectories);
    while (sizes.hasNext())
        builtIn.addFile(sizes.next());
    return QIcon::fromTheme(LUMIDRA_APP_ID, builtIn);
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    // Ties the window to the menu entry (Wayland's app id); sets no caption.
    QGuiApplication::setDesktopFileName(LUMIDRA_APP_ID);
    QApplication::setWindowIcon(applicationIcon());
    int result = 0;
    {
        MainWidget window;
        window.resize(675, 575);
        QObject::connect(&window, &MainWidget::signalQuit, &app, &QApplication::quit);
        window.show();
        result = app.exec();
    }
    // Wavelet windows still open at exit are closed, which frees them.
    QApplication::closeAllWindows();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return result;
}
