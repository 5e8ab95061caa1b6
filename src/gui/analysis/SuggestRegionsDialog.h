#pragma once

#include "core/stats/Otsu.h"

#include <QDialog>

#include <vector>

class QDialogButtonBox;
class QLabel;
class QSpinBox;

// Asks for the number of classes (2 to 6) and shows the multi-level Otsu
// split of the whole stack's histogram for it; the caller previews each
// split on its histogram and writes the accepted one into the regions.
class SuggestRegionsDialog : public QDialog {
    Q_OBJECT
public:
    SuggestRegionsDialog(const lumidra::GreyCounts& stackCounts, QWidget* parent);

    static constexpr int kFewest = 2;
    static constexpr int kMost = 6;

    int classCount() const;
    void setClassCount(int k);
    const std::vector<lumidra::GreyRange>& classes() const { return split; }

signals:
    void previewChanged(const std::vector<lumidra::GreyRange>& classes);

private:
    void compute(int k);

    lumidra::GreyCounts counts;
    std::vector<lumidra::GreyRange> split;
    QSpinBox* classSpin = nullptr;
    QLabel* listing = nullptr;
    QDialogButtonBox* buttons = nullptr;
};
