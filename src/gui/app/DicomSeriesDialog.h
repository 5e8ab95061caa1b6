#pragma once

#include "core/dicom/DicomSeries.h"

#include <QDialog>

#include <vector>

class QTableWidget;

// Volume → Open DICOM Folder… on a folder of several series: one row per
// series (description, modality, size, number of slices, what is wrong
// with it), and the one the user picks.
class DicomSeriesDialog : public QDialog {
    Q_OBJECT
public:
    DicomSeriesDialog(const std::vector<lumidra::DicomSeries>& series, QWidget* parent);

    // The row chosen, or -1.
    int chosen() const;
    void choose(int row);

private:
    QTableWidget* table = nullptr;
};
