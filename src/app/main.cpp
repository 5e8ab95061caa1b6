#include "StartupTrace.h"
#include "gui/app/MainWidget.h"

#include <QApplication>
#include <QCoreApplication>
#include <QEvent>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    int result = 0;
    {
        MainWidget window;
        window.resize(675, 575);
        QObject::connect(&window, &MainWidget::signalQuit, &app, &QApplication::quit);
        traceStartupIfAsked(window);
        window.show();
        result = app.exec();
    }
    // Wavelet windows still open at exit are closed, which frees them.
    QApplication::closeAllWindows();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return result;
}
