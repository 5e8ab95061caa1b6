#include "gui/views/DisplayRegion.h"

#include "core/render/SliceRender.h"
#include "gui/views/EmptyStackHint.h"
#include "gui/views/RgbDrawing.h"
#include "core/slices/SliceLoader.h"
#include "core/wavelet/CoefficientMap.h"

#include <QCoreApplication>
#include <QEvent>

#include <utility>

DisplayRegion::DisplayRegion(QWidget* parent, const char* name, int image)
    : DisplayRegion(parent, name, image, lumidra::kDefaultImageDir)
{
}

DisplayRegion::DisplayRegion(QWidget* parent, const char* name, int image, const char* directory)
    : QOpenGLWidget(parent), rgb(lumidra::kRgbBytes, 0), imageNum(image)
{
    setObjectName(QString::fromLatin1(name));
    setFixedSize(lumidra::kSliceSide, lumidra::kSliceSide);
    loadImageDir(image, nullptr, directory);
}

DisplayRegion::DisplayRegion(QWidget* parent, const char* name, lumidra::SharedSliceStack stack)
    : QOpenGLWidget(parent), rgb(lumidra::kRgbBytes, 0), slices(std::move(stack)),
      numPix(heldSlices())
{
    setObjectName(QString::fromLatin1(name));
    setFixedSize(lumidra::kSliceSide, lumidra::kSliceSide);
    renderGrey(imageNum);
}

DisplayRegion::DisplayRegion(QWidget* parent, const char* name, const DisplayRegion& source)
    : QOpenGLWidget(parent), rgb(lumidra::kRgbBytes, 0), slices(source.slices),
      regions(source.regions), imageNum(source.imageNum), regionNum(source.regionNum),
      numPix(source.numPix), loadedFrom(source.loadedFrom)
{
    setObjectName(QString::fromLatin1(name));
    setFixedSize(lumidra::kSliceSide, lumidra::kSliceSide);
    render();
}

DisplayRegion::~DisplayRegion() = default;

int DisplayRegion::loadImageDir(int image, imgMaterial* table, const char* directory)
{
    lumidra::SharedSliceStack loaded = lumidra::loadImageDirectory(directory);
    loadedFrom = displayedDirectory(directory ? directory : lumidra::kDefaultImageDir);

    // Receivers may render from this view during the emission: the old stack
    // and buffer stay in place until it returns.
    setNumPix(loaded->count());

    slices = std::move(loaded);
    rgb.assign(lumidra::kRgbBytes, 0);

    if (table)
        renderColor(image, table);
    else
        renderGrey(image);
    return 0;
}

int DisplayRegion::heldSlices() const
{
    return slices ? slices->count() : 0;
}

// Bounded by the stack actually held, not by numPix: during the numPixChanged
// emission numPix already counts the next stack while the old one is in place.
void DisplayRegion::renderGrey(int image)
{
    lumidra::renderGrey(slices.get(), image, rgb.data());
}

void DisplayRegion::renderColor(int image, imgMaterial* table)
{
    lumidra::renderColor(slices.get(), image, table, regionNum, rgb.data());
}

void DisplayRegion::setNumPix(int count)
{
    numPix = count;
    emit numPixChanged(count);
}

int DisplayRegion::announceNumPix()
{
    emit numPixChanged(numPix);
    return numPix;
}

void DisplayRegion::showStack(lumidra::SharedSliceStack stack)
{
    imageNum = 0;
    regionNum = 0;
    // Receivers may render from this view during the emission: the old stack
    // and buffer stay in place until it returns.
    setNumPix(stack ? stack->count() : 0);
    slices = std::move(stack);
    rgb.assign(lumidra::kRgbBytes, 0);
    render();
    redraw();
}

void DisplayRegion::replaceStack(lumidra::SharedSliceStack stack)
{
    if (!stack || stack->count() != heldSlices()) {
        showStack(std::move(stack));
        return;
    }
    slices = std::move(stack);
    render();
    redraw();
}

void DisplayRegion::changeRegions(imgMaterial* table)
{
    regions = table;
    renderColor(imageNum, regions);
    redraw();
}

void DisplayRegion::changeImage(int image)
{
    imageNum = image;
    render();
    redraw();
}

void DisplayRegion::changeRegionNum(int region)
{
    regionNum = region;
    renderColor(imageNum, regions);
    redraw();
}

void DisplayRegion::changeImageDir(char* directory)
{
    imageNum = 0;
    regionNum = 0;
    loadImageDir(0, regions, directory);
    redraw();
}

void DisplayRegion::waveletIfy(int depth)
{
    lumidra::waveletifyRgb(rgb.data(), depth);
    redraw();
}

void DisplayRegion::render()
{
    if (regions)
        renderColor(imageNum, regions);
    else
        renderGrey(imageNum);
}

void DisplayRegion::redraw()
{
    repaint();
    // Qt defers a GL widget's repaint() that comes within a frame of the
    // window's last composition; deliver it now so the slot returns redrawn.
    if (isVisible())
        QCoreApplication::sendPostedEvents(window(), QEvent::UpdateRequest);
}

void DisplayRegion::paintGL()
{
    // The hint covers the whole view, so the black picture under it is not drawn.
    if (heldSlices() == 0)
        drawEmptyStackHint(*this, loadedFrom);
    else
        drawRgbImage(*this, lumidra::kSliceSide, rgb.data());
}
