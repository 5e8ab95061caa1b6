#include "StartupTrace.h"

#include "gui/app/MainWidget.h"
#include "gui/views/DisplayRegion.h"

#include <QObject>

#include <cstdio>
#include <cstdlib>
#include <memory>

#include <time.h>

namespace {

void printCompletion()
{
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    std::fprintf(stderr, "lumidra: start-up complete at %lld.%09ld (CLOCK_MONOTONIC)\n",
                 static_cast<long long>(now.tv_sec), now.tv_nsec);
    std::fflush(stderr);
}

} // namespace

void traceStartupIfAsked(const MainWidget& window)
{
    if (!std::getenv("LUMIDRA_TRACE_STARTUP"))
        return;
    // frameSwapped comes once the window has composed the view's picture and
    // swapped it to the screen: the picture is complete, not just painted.
    auto pending = std::make_shared<int>(2);
    for (DisplayRegion* view : {window.greyView(), window.colourView()}) {
        auto connection = std::make_shared<QMetaObject::Connection>();
        *connection = QObject::connect(view, &DisplayRegion::frameSwapped, [pending, connection] {
            QObject::disconnect(*connection);
            if (--*pending == 0)
                printCompletion();
        });
    }
}
