// The main window's volume commands: a NIfTI volume opened into both views,
// and the region map of what the window holds exported for other tools.
#include "gui/app/MainWidget.h"

#include "core/common/Diagnostics.h"
#include "core/common/Parallel.h"
#include "core/stats/LabelMap.h"
#include "core/stats/RegionMap.h"
#include "core/stats/RegionStats.h"
#include "core/volume/VolumeReader.h"
#include "gui/app/IntensityWindowDialog.h"
#include "gui/views/DisplayRegion.h"

#include <QFile>
#include <QFileDialog>
#include <QMessageBox>

#include <exception>

namespace {

const char* const kVolumeFilter = "NIfTI volumes (*.nii *.nii.gz);;All files (*)";
const char* const kMapFilter = "NIfTI label map (*.nii.gz)";

// The prefix of the three map files: the chosen name without a NIfTI extension.
std::string mapPrefix(const QString& answer)
{
    QString prefix = answer;
    for (const char* ext : {".nii.gz", ".nii"}) {
        if (prefix.endsWith(ext, Qt::CaseInsensitive)) {
            prefix.chop(static_cast<int>(std::char_traits<char>::length(ext)));
            break;
        }
    }
    return QFile::encodeName(prefix).toStdString();
}

void warn(QWidget* parent, const QString& what, const std::string& why)
{
    QMessageBox::warning(parent, "Lumidra", what + "\n\n" + QString::fromLocal8Bit(why));
}

} // namespace

void MainWidget::selOpenVolume()
{
    const QString answer = QFileDialog::getOpenFileName(nullptr, "Open Volume", ".", kVolumeFilter);
    if (answer.isEmpty())
        return;
    std::string why;
    if (!openVolumeFile(QFile::encodeName(answer).toStdString(), &why))
        warn(this, tr("The volume was not opened."), why);
}

bool MainWidget::openVolumeFile(const std::string& path, std::string* why)
{
    lumidra::SharedSliceStack stack;
    try {
        stack = lumidra::openVolume(path, work->windowPolicy());
    } catch (const std::exception& e) {
        lumidra::diag("Volume not opened: %s\n", e.what());
        if (why)
            *why = e.what();
        return false;
    }
    // Read once, held by both views: the same visible result as File -> Open....
    dr1->showStack(stack);
    dr2->showStack(stack);
    tookNewStack(path);
    return true;
}

void MainWidget::selExportRegionMap()
{
    const QString answer =
        QFileDialog::getSaveFileName(nullptr, "Export Region Map", ".", kMapFilter);
    if (answer.isEmpty())
        return;
    std::string why;
    if (!exportRegionMap(mapPrefix(answer), &why))
        warn(this, tr("The region map was not written."), why);
}

bool MainWidget::exportRegionMap(const std::string& prefix, std::string* why)
{
    const lumidra::SharedSliceStack& stack = dr2->sliceStack();
    try {
        if (!stack)
            throw std::runtime_error("no slices to write a region map of");
        if (const int minIsland = work->minIsland(); minIsland > 0)
            lumidra::writeLabelMap(prefix, *stack, wholeTable(),
                                   lumidra::regionMap(*stack, wholeTable(),
                                                      static_cast<std::uint64_t>(minIsland),
                                                      lumidra::defaultWorkThreads()));
        else
            lumidra::writeLabelMap(prefix, *stack, wholeTable());
    } catch (const std::exception& e) {
        lumidra::diag("Region map not written: %s\n", e.what());
        if (why)
            *why = e.what();
        return false;
    }
    const auto files = lumidra::labelMapFiles(prefix);
    lumidra::diag("Region map written: %s, %s, %s\n", files[0].c_str(), files[1].c_str(),
                  files[2].c_str());
    return true;
}

void MainWidget::selIntensityWindow()
{
    const lumidra::SharedSliceStack& stack = work->stack();
    const lumidra::IntensityWindow* inUse = stack ? lumidra::intensityWindow(*stack) : nullptr;
    IntensityWindowDialog dialog(work->windowPolicy(), inUse ? std::optional(*inUse) : std::nullopt,
                                 this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    std::string why;
    if (!applyVolumeWindow(dialog.policy(), &why))
        warn(this, tr("The intensity window was not applied."), why);
}

bool MainWidget::applyVolumeWindow(const lumidra::WindowPolicy& policy, std::string* why)
{
    work->setWindowPolicy(policy);
    const lumidra::SharedSliceStack stack = work->stack();
    if (!stack || !stack->source())
        return true;
    lumidra::SharedSliceStack windowed;
    try {
        windowed = lumidra::rewindow(*stack, policy);
    } catch (const std::exception& e) {
        lumidra::diag("Intensity window not applied: %s\n", e.what());
        if (why)
            *why = e.what();
        return false;
    }
    dr1->replaceStack(windowed);
    dr2->replaceStack(windowed);
    tookNewStack(work->source());
    return true;
}
