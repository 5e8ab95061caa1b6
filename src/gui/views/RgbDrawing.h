#pragma once

#include <cstdint>

class QOpenGLWidget;

// Draws a square RGB image of `side` pixels into the current GL context of
// `view`: the image's first row at the bottom, scaled by the screen's device
// pixel ratio so a HiDPI screen shows the whole image.
void drawRgbImage(const QOpenGLWidget& view, int side, const std::uint8_t* rgb);
