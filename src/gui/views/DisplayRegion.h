#pragma once

#include "core/regions/ImgMaterial.h"
#include "core/slices/SliceStack.h"

#include <QOpenGLWidget>
#include <QString>

#include <cstdint>
#include <memory>
#include <vector>

// One 256 x 256 slice of the slice stack, in grey or coloured by the region
// table, drawn with OpenGL. Every slot that changes the picture renders it
// anew and repaints at once.
class DisplayRegion : public QOpenGLWidget {
    Q_OBJECT
public:
    DisplayRegion(QWidget* parent, const char* name, int image);
    // Loads another image directory (a path prefix ending in '/') than ./data/.
    DisplayRegion(QWidget* parent, const char* name, int image, const char* directory);
    // Holds a stack read elsewhere, such as a volume; shows its slice 0 in grey.
    DisplayRegion(QWidget* parent, const char* name, lumidra::SharedSliceStack stack);
    // Shares the source's slice stack and takes its state; renders at once.
    DisplayRegion(QWidget* parent, const char* name, const DisplayRegion& source);
    ~DisplayRegion() override;

    int loadImageDir(int image, imgMaterial* regions, const char* directory);
    void renderGrey(int image);
    void renderColor(int image, imgMaterial* regions);
    void setNumPix(int count);
    int announceNumPix();
    // Takes a new stack as changeImageDir takes a new directory: slice 0,
    // region 0, numPixChanged while the old stack is still in place.
    void showStack(lumidra::SharedSliceStack stack);
    // Takes the same slices seen another way (a volume through another
    // intensity window): the slice and region stay, the picture is redrawn.
    void replaceStack(lumidra::SharedSliceStack stack);

    // What the view shows: 256 x 256 RGB triples, the first row drawn at the bottom.
    const std::uint8_t* rgbBuffer() const { return rgb.data(); }
    const lumidra::SharedSliceStack& sliceStack() const { return slices; }
    int imageIndex() const { return imageNum; }
    int regionIndex() const { return regionNum; }
    int sliceCount() const { return numPix; }
    const imgMaterial* regionTable() const { return regions; }
    // The folder of the last load, absolute; named over the view when it held no slices.
    const QString& loadedDirectory() const { return loadedFrom; }

public slots:
    void changeRegions(imgMaterial* table);
    void changeImage(int image);
    void changeRegionNum(int region);
    void changeImageDir(char* directory);
    void waveletIfy(int depth);

signals:
    void numPixChanged(int);

protected:
    void paintGL() override;

private:
    void render();
    void redraw();
    int heldSlices() const;

    std::vector<std::uint8_t> rgb;
    lumidra::SharedSliceStack slices;
    imgMaterial* regions = nullptr;
    int imageNum = 0;
    int regionNum = 0;
    int numPix = 0;
    QString loadedFrom;
};
