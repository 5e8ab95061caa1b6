#include "gui/views/RgbDrawing.h"

#include <QOpenGLWidget>

#include <GL/gl.h>

void drawRgbImage(const QOpenGLWidget& view, int side, const std::uint8_t* rgb)
{
    const auto zoom = static_cast<GLfloat>(view.devicePixelRatio());
    glClear(GL_COLOR_BUFFER_BIT);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glPixelZoom(zoom, zoom);
    glDrawPixels(side, side, GL_RGB, GL_UNSIGNED_BYTE, rgb);
    glFlush();
}
