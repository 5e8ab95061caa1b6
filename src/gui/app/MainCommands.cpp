// The main window's slots: each stores what a control reports and announces
// the new state to the editor and the views.
#include "gui/app/MainWidget.h"

#include "core/common/TextField.h"
#include "core/regions/RegionFile.h"
#include "gui/controls/ImageSelect.h"
#include "gui/controls/InputRegion.h"
#include "gui/controls/RtSlider.h"
#include "gui/views/DisplayRegion.h"
#include "gui/wavelet/WaveletWin.h"

#include <QByteArray>
#include <QCloseEvent>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QSlider>

#include <algorithm>

namespace {

constexpr int kPathBuffer = 300; // a path of at most 299 bytes and its NUL

// Copies a dialog's answer into a path buffer, with `suffix` appended, in the
// file system's encoding (a folder named "Müller" or "脑" must be found under
// that name). A path that would not fit is refused like a cancelled dialog.
bool toPathBuffer(const QString& answer, const char* suffix, char (&buffer)[kPathBuffer])
{
    QByteArray path = QFile::encodeName(answer);
    path.append(suffix);
    if (path.isEmpty() || path.size() > kPathBuffer - 1 || path.contains('\0'))
        return false;
    lumidra::copyBounded(buffer, path.constData());
    return true;
}

const char* const kFileFilter = "Lumidra Information File(*.rif)";

} // namespace

void MainWidget::changeRegion(int i)
{
    regionNum = i;
    {
        OwnEdit own(*this);
        work->setCurrentRegion(i);
    }
    emit updateRegion(currentRecord());
}

void MainWidget::changePix(int i)
{
    pixNum = i;
    OwnEdit own(*this);
    work->setSlice(i);
}

void MainWidget::changeNumPix(int n)
{
    numPix = n;
    emit updateNumImg(n - 1);
}

void MainWidget::changeWavelet(int d)
{
    waveletDepth = d;
}

void MainWidget::changeName(const QString& text)
{
    if (text.isNull())
        return;
    OwnEdit own(*this);
    work->renameRegion(regionNum, text.toLatin1().constData());
}

void MainWidget::storeInCurrentRecord(Workspace::Field field, RtSlider* slider, int v)
{
    {
        OwnEdit own(*this);
        const bool dragged = slider && slider->innerSlider()->isSliderDown();
        work->setRegionField(regionNum, field, v,
                             dragged ? Workspace::Gesture::Continuing : Workspace::Gesture::Single);
    }
    emit updateColorInfo(wholeTable());
}

void MainWidget::changeMin(int v)
{
    storeInCurrentRecord(Workspace::Field::Min, ir->minSlider, v);
}

void MainWidget::changeMax(int v)
{
    storeInCurrentRecord(Workspace::Field::Max, ir->maxSlider, v);
}

void MainWidget::changeRed(int v)
{
    storeInCurrentRecord(Workspace::Field::Red, ir->redSlider, v);
}

void MainWidget::changeGreen(int v)
{
    storeInCurrentRecord(Workspace::Field::Green, ir->greenSlider, v);
}

void MainWidget::changeBlue(int v)
{
    storeInCurrentRecord(Workspace::Field::Blue, ir->blueSlider, v);
}

void MainWidget::clkApply()
{
    emit updateColorInfo(wholeTable());
}

void MainWidget::clkShowAll()
{
    emit updateRegionNum(-1);
    emit updateColorInfo(wholeTable());
    OwnEdit own(*this);
    work->setShownRegion(Workspace::kShowAll);
}

void MainWidget::clkClearAll()
{
    lumidra::RegionTable next = work->regions();
    next.clearRegions();
    replaceTable(next, tr("Clear Regions"), true);
}

void MainWidget::clkDefaultReg()
{
    lumidra::RegionTable next = work->regions();
    next.defaultRegions();
    replaceTable(next, tr("Default Regions"), true);
}

void MainWidget::replaceTable(const lumidra::RegionTable& next, const QString& step,
                              bool tableFirst)
{
    OwnEdit own(*this);
    work->replaceRegions(next, step);
    // The editor's sliders report every value back (clamped to 0..255): part
    // of this step, not one of their own.
    Workspace::QuietEdits quiet(*work);
    if (tableFirst) {
        emit updateColorInfo(wholeTable());
        emit updateRegion(currentRecord());
    } else {
        emit updateRegion(currentRecord());
        emit updateColorInfo(wholeTable());
    }
}

void MainWidget::clkWaveletify()
{
    // Re-sending the region makes dr2 render the colourised slice again, so the
    // transform never starts from an earlier map.
    emit updateRegion(currentRecord());
    emit makeWavelet(waveletDepth);
}

void MainWidget::clkSave()
{
    QString answer = QFileDialog::getSaveFileName(nullptr, QString(), ".", kFileFilter);
    if (answer.isEmpty())
        return;
    const char* suffix = answer.contains(".rif", Qt::CaseInsensitive) ? "" : ".rif";
    char path[kPathBuffer];
    if (!toPathBuffer(answer, suffix, path))
        return;
    // A failed save has printed its diagnostic and left the old file as it was.
    (void)lumidra::writeRegionFile(wholeTable(), lumidra::kRegionCount, path);
}

void MainWidget::clkLoad()
{
    QString answer = QFileDialog::getOpenFileName(nullptr, QString(), ".", kFileFilter);
    if (answer.isEmpty())
        return;
    char path[kPathBuffer];
    if (!toPathBuffer(answer, "", path))
        return;
    // The editor and dr2 are refilled whether or not the file could be read;
    // a file that was not found has been reported and left the table as it was.
    lumidra::RegionTable next = work->regions();
    (void)next.loadRegionFile(path);
    replaceTable(next, tr("Open Region Info"), false);
}

void MainWidget::applyRegions(const std::vector<imgMaterial>& records)
{
    lumidra::RegionTable next = work->regions();
    const std::size_t n = std::min<std::size_t>(records.size(), lumidra::kRegionCount);
    for (std::size_t k = 0; k < n; ++k)
        next[static_cast<int>(k)] = records[k];
    replaceTable(next, tr("Apply Regions"), false);
}

void MainWidget::clkNewWavelet()
{
    // The window owns its copies; it is freed when the user closes it.
    auto* window = new WaveletWin(nullptr, "Wavelet Window", dr2->rgbBuffer(), 256);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->show();
}

void MainWidget::selOpen()
{
    QString answer = QFileDialog::getExistingDirectory(nullptr);
    if (answer.isEmpty())
        return;
    // Slice names go straight behind the directory, so it must end in '/'.
    const char* separator = answer.endsWith('/') ? "" : "/";
    char path[kPathBuffer];
    if (!toPathBuffer(answer, separator, path))
        return;
    emit updateImageDirectory(path);
    tookNewStack(path);
}

void MainWidget::selExit()
{
    emit signalQuit();
}

void MainWidget::closeEvent(QCloseEvent* event)
{
    QWidget::closeEvent(event);
    if (event->isAccepted())
        emit signalQuit();
}

void MainWidget::selAbout()
{
    QMessageBox::about(this, "Lumidra",
                       "Lumidra\n\n"
                       "Pages through a stack of 256 x 256 greyscale slices and colours\n"
                       "tissue regions by grey value, with an integer Haar wavelet view\n"
                       "of the picture.\n\n"
                       "Written by the Lumidra developers.");
}

void MainWidget::selInfo()
{
    QMessageBox::information(this, "Lumidra", informationText());
}

const char* MainWidget::informationText()
{
    return "When the program starts up, you will notice a\n"
           "number of sliders in the upper left corner,\n"
           "two blank image boxes on right side, a button\n"
           "that says \"Show All Regions\" and a selector\n"
           "named \"Image Number\" with a \"+\" and a \"-\" button.\n"
           "\n"
           "To begin, press the \"+\" button on the image\n"
           "number selector to page through the images until\n"
           "you see one the provides a good view of the brain\n"
           "(or whatever image set you're looking at).\n"
           "\n"
           "Once you have a good image, click on the\n"
           "\"+\" button near the slider labeled \"Tissue\n"
           "Region\" to see the currently defined regions.\n"
           "Note that each of these regions has a name,\n"
           "a min/max greyscale value, and three\n"
           "sliders controlling the Red, Green, and Blue\n"
           "value of this region.  You can see the\n"
           "results of this selection in the lower right\n"
           "hand image.\n"
           "\n"
           "If you click on the \"Show All Regions\"\n"
           "button, all of the regions will be colorized\n"
           "until the \"Tissue Region\" slider is moved\n"
           "again.\n"
           "\n"
           "Once you have defined regions and colors you\n"
           "like, they can be saved by using the\n"
           "\"File->Save Region Info\" option in the menu\n"
           "bar.";
}
