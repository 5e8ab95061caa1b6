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

void whenFirstPicturesShown(const MainWidget& window, std::function<void()> done)
{
    auto pending = std::make_shared<int>(2);
    auto callback = std::make_shared<std::function<void()>>(std::move(done));
    for (DisplayRegion* view : {window.greyView(), window.colourView()}) {
        QObject::connect(
            view, &DisplayRegion::frameSwapped, view,
            [pending, callback] {
                if (--*pending == 0)
                    (*callback)();
            },
            Qt::SingleShotConnection);
    }
}

void traceStartupIfAsked(const MainWidget& window)
{
    if (std::getenv("LUMIDRA_TRACE_STARTUP"))
        whenFirstPicturesShown(window, printCompletion);
}
