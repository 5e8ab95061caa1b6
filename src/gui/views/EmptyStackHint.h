#pragma once

#include <QString>

class QOpenGLWidget;

// Over a view whose stack holds no slices: which folder held none, and the
// menu commands that open another. Drawn on the screen only: the view's RGB
// buffer, which the wavelet window reads, stays black.
void drawEmptyStackHint(QOpenGLWidget& view, const QString& directory);

// The folder a load looked in, as the user knows it: absolute, without "./".
QString displayedDirectory(const char* directory);
