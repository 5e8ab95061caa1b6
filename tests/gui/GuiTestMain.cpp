// Shared entry of the widget tests: one QApplication for the whole run.
#include <QApplication>

#include <gtest/gtest.h>

#include <cstring>

#if defined(__SANITIZE_ADDRESS__)
#include <dlfcn.h>

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
#else
static void pinOpenGlDriver() {}
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
    QApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
