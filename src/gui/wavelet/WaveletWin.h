#pragma once

#include <QWidget>

#include <cstdint>

// A multi-scale Haar analysis of one picture: the picture, its LL, LH, HL and
// HH parts at eight levels and the detail parts averaged over the levels.
// Everything is computed and copied at construction; the window never changes.
class WaveletWin : public QWidget {
    Q_OBJECT
public:
    WaveletWin(QWidget* parent, const char* name, const std::uint8_t* source, int size);
};
