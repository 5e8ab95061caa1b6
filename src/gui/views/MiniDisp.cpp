#include "gui/views/MiniDisp.h"

#include "gui/views/RgbDrawing.h"

#include <algorithm>
#include <cstddef>

namespace {

std::size_t imageBytes(int size)
{
    const auto side = static_cast<std::size_t>(std::max(size, 0));
    return side * side * 3;
}

} // namespace

MiniDisp::MiniDisp(QWidget* parent, const char* name, const std::uint8_t* source, int size)
    : QOpenGLWidget(parent), image(imageBytes(size), 0), side(std::max(size, 0))
{
    setObjectName(QString::fromLatin1(name));
    setMinimumSize(side, side);
    setMaximumSize(side, side);
    if (source)
        std::copy(source, source + image.size(), image.begin());
    repaint();
}

void MiniDisp::paintGL()
{
    drawRgbImage(*this, side, image.data());
}
