// Shared entry of the widget tests: one QApplication for the whole run.
#include <QApplication>

#include <gtest/gtest.h>

#include <cstring>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include <dlfcn.h>
#include <unistd.h>

// Libraries that the toolkit and Mesa load at run time are unloaded at exit,
// before LeakSanitizer looks, and the allocations they keep for the process's
// life would then show without a module name. Pinning them keeps those
// allocations named, so tests/lsan.supp can match them.
static void pinOpenGlDriver()
{
    const char* libraries[] = {
        "/usr/lib/x86_64-linux-gnu/dri/swrast_dri.so",
        "/usr/lib/x86_64-linux-gnu/libGLX_mesa.so.0",
        "/usr/lib/x86_64-linux-gnu/libXcursor.so.1",
        "/usr/lib/x86_64-linux-gnu/qt6/plugins/platforms/libqxcb.so",
        "/usr/lib/x86_64-linux-gnu/qt6/plugins/xcbglintegrations/libqxcb-glx-integration.so",
        "/usr/lib/x86_64-linux-gnu/qt6/plugins/platforminputcontexts/"
        "libcomposeplatforminputcontextplugin.so",
    };
    for (const char* library : libraries)
        dlopen(library, RTLD_LAZY | RTLD_LOCAL | RTLD_NODELETE);
}

// Whether a thread other than this one and Qt's D-Bus thread still runs. The
// D-Bus thread idles until exit, when Qt ends it.
static bool threadsStillEnding()
{
    const std::string self = std::to_string(::getpid());
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
        std::ifstream comm(task.path() / "comm");
        std::string name;
        std::getline(comm, name);
        if (task.path().filename() != self && name != "QDBusConnection")
            return true;
    }
    return false;
}

// A thread that Qt has stopped may still be ending when the application
// object is gone, and LeakSanitizer, which stops every thread to look, can
// crash on one that is half gone (it did, on a busy machine). So the one leak
// check runs here, once those threads have ended, and not again at exit,
// when the D-Bus thread ends.
static void checkLeaksOnceThreadsHaveEnded()
{
    using namespace std::chrono_literals;
    for (int wait = 0; wait < 6000 && threadsStillEnding(); ++wait)
        std::this_thread::sleep_for(10ms);
    __lsan_do_leak_check();
}
#else
static void pinOpenGlDriver() {}
static void checkLeaksOnceThreadsHaveEnded() {}
#endif

int main(int argc, char** argv)
{
    // Listing the tests (ctest's discovery at build time) needs no display.
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--gtest_list_tests") == 0) {
            testing::InitGoogleTest(&argc, argv);
            return RUN_ALL_TESTS();
        }
    pinOpenGlDriver();
    int result = 0;
    {
        QApplication app(argc, argv);
        testing::InitGoogleTest(&argc, argv);
        result = RUN_ALL_TESTS();
    }
    checkLeaksOnceThreadsHaveEnded();
    return result;
}
