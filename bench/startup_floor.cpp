// The floor for start-up with this toolkit on this display: the least a Qt
// program does to show one 256 x 256 picture with glDrawPixels. bench_startup
// runs it beside lumidra; like lumidra it prints the time its picture is
// complete when LUMIDRA_TRACE_STARTUP is set.
#include <QApplication>
#include <QOpenGLWidget>

#include <GL/gl.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include <time.h>

namespace {

class Picture : public QOpenGLWidget {
public:
    Picture() : rgb_(256 * 256 * 3)
    {
        for (std::size_t i = 0; i < rgb_.size(); ++i)
            rgb_[i] = static_cast<std::uint8_t>(i / 3 % 256);
        setFixedSize(256, 256);
    }

protected:
    void paintGL() override
    {
        glClear(GL_COLOR_BUFFER_BIT);
        glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
        glDrawPixels(256, 256, GL_RGB, GL_UNSIGNED_BYTE, rgb_.data());
        glFlush();
    }

private:
    std::vector<std::uint8_t> rgb_;
};

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    Picture picture;
    if (std::getenv("LUMIDRA_TRACE_STARTUP"))
        QObject::connect(&picture, &QOpenGLWidget::frameSwapped, [] {
            static bool printed = false;
            timespec now{};
            ::clock_gettime(CLOCK_MONOTONIC, &now);
            if (!printed)
                std::fprintf(stderr, "lumidra: start-up complete at %lld.%09ld (CLOCK_MONOTONIC)\n",
                             static_cast<long long>(now.tv_sec), now.tv_nsec);
            printed = true;
            std::fflush(stderr);
        });
    picture.show();
    return app.exec();
}
