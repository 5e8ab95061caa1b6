// The main window's DICOM commands: a folder's series found and read by the
// reader process, the one picked opened into both views.
#include "gui/app/MainWidget.h"

#include "core/common/Diagnostics.h"
#include "core/common/Parallel.h"
#include "core/dicom/DicomReaderProcess.h"
#include "gui/app/DicomSeriesDialog.h"
#include "gui/views/DisplayRegion.h"

#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QMessageBox>

#include <exception>

namespace {

// The busy cursor while the reader works: finding and reading a series can
// take a second or two.
class BusyCursor {
public:
    BusyCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~BusyCursor() { QApplication::restoreOverrideCursor(); }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;
};

bool refuse(const std::string& reason, std::string* why)
{
    lumidra::diag("DICOM series not opened: %s\n", reason.c_str());
    if (why)
        *why = reason;
    return false;
}

} // namespace

void MainWidget::selOpenDicomFolder()
{
    // The readers' own start-up (GDCM's dictionaries) is done while the user
    // picks a folder, and only for a user who asked for DICOM.
    lumidra::startDicomReadersAhead(lumidra::defaultWorkThreads());
    const QString answer = QFileDialog::getExistingDirectory(nullptr, "Open DICOM Folder", ".");
    if (answer.isEmpty())
        return;
    std::string why;
    if (!openDicomPath(QFile::encodeName(answer).toStdString(), &why) && !why.empty())
        QMessageBox::warning(this, "Lumidra",
                             tr("The DICOM series was not opened.") + "\n\n" +
                                 QString::fromLocal8Bit(why));
}

bool MainWidget::openDicomPath(const std::string& path, std::string* why)
{
    lumidra::DicomFolder found;
    try {
        BusyCursor busy;
        found = lumidra::findDicomSeries(path);
    } catch (const std::exception& e) {
        return refuse(e.what(), why);
    }
    for (const std::string& problem : found.problems)
        lumidra::diag("DICOM: %s\n", problem.c_str());
    if (found.series.empty())
        return refuse(lumidra::describeDicomFolder(found), why);
    if (found.chosen == found.series.size() && found.series.size() > 1)
        return chooseDicomSeries(found, why);
    const std::size_t chosen = found.chosen < found.series.size() ? found.chosen : 0;
    return showDicomSeries(found.series[chosen],
                           found.series.size() > 1 ? path + "#" + found.series[chosen].tag : path,
                           why);
}

bool MainWidget::chooseDicomSeries(const lumidra::DicomFolder& found, std::string* why)
{
    DicomSeriesDialog dialog(found.series, this);
    if (dialog.exec() != QDialog::Accepted || dialog.chosen() < 0)
        return false;
    const lumidra::DicomSeries& series = found.series[static_cast<std::size_t>(dialog.chosen())];
    return showDicomSeries(series, found.folder + "#" + series.tag, why);
}

bool MainWidget::showDicomSeries(const lumidra::DicomSeries& series, const std::string& source,
                                 std::string* why)
{
    lumidra::SharedSliceStack stack;
    try {
        BusyCursor busy;
        stack = lumidra::openDicomSeries(series, work->windowPolicy());
    } catch (const std::exception& e) {
        return refuse(e.what(), why);
    }
    if (!series.warning.empty())
        lumidra::diag("DICOM: %s\n", series.warning.c_str());
    // Read once, held by both views, as Open Volume... does.
    dr1->showStack(stack);
    dr2->showStack(stack);
    tookNewStack(source);
    return true;
}
