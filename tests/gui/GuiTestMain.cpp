// Shared entry of the widget tests: one QApplication for the whole run.
#include <QApplication>

#include <gtest/gtest.h>

#include <cstring>

#if defined(__SANITIZE_ADDRESS__)
#include <dlfcn.h>

// Mesa reaches its thread-local state through TLS descriptors, whose slow path
// calls __tls_get_addr with an argument of another layout. AddressSanitizer's
// interception of that call then records a dynamic TLS block at a made-up
// address, and LeakSanitizer crashes scanning it ("Tracer caught signal 11")
// whenever that path is taken, which a busy machine makes likely. Without the
// interception the blocks are still scanned: they are heap blocks reached
// through each thread's TLS vector.
extern "C" const char* __asan_default_options()
{
    return "intercept_tls_get_addr=0";
}

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
