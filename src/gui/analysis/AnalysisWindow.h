#pragma once

#include "core/stats/HistogramCache.h"
#include "core/stats/RegionMap.h"
#include "core/stats/Otsu.h"

#include <QString>
#include <QWidget>

#include <memory>

class HistogramView;
class Workspace;
class QCheckBox;
class QLabel;
class QRadioButton;
class QSpinBox;
class QTableView;
class RegionStatsModel;

// Analysis → Region Analysis…: the histogram of the scan with the regions'
// bands, the region table with voxel counts and volumes, the value under the
// cursor, and suggested regions. It follows the workspace and edits the
// regions through it, as one step of Undo each.
class AnalysisWindow : public QWidget {
    Q_OBJECT
public:
    // A window of its own (parent is the window it stands beside).
    AnalysisWindow(Workspace* work, QWidget* parent);

    HistogramView* histogram() const { return histogramView; }
    const RegionStatsModel* statistics() const { return model; }
    bool showsWholeStack() const;
    void setShowsWholeStack(bool whole);

    // Recomputes everything from the main window's state now (a hidden
    // window waits until it is shown).
    void refresh();

    // The CSV of what the window shows, in lumidra-stats' columns.
    std::string csv() const;
    // Writes csv() to path through a temporary file: empty, or why it could not.
    QString exportCsv(const QString& path) const;

    void suggestRegions();
    void chooseCsvFile();

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void buildLayout();
    void follow();
    void scheduleRefresh();
    void dragEdge(bool lower, int v);
    void selectRow(int row);
    QString scopeInput() const;

    Workspace* work;
    HistogramView* histogramView = nullptr;
    RegionStatsModel* model = nullptr;
    QTableView* table = nullptr;
    QRadioButton* sliceScope = nullptr;
    QRadioButton* stackScope = nullptr;
    QCheckBox* logCounts = nullptr;
    QLabel* summary = nullptr;
    QLabel* cursorLine = nullptr;
    QSpinBox* islandBox = nullptr;

    // The map of the stack with the workspace's small islands left out, for
    // as long as the stack, the table and the smallest island stay the same.
    const lumidra::RegionMap* islandMap();

    lumidra::HistogramCache cache;
    lumidra::RegionMap islands;
    lumidra::SharedSliceStack islandsOf;
    int shownSlice = 0;
    bool refreshPending = false;
    bool dragging = false;
};
