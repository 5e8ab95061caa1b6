#include "gui/analysis/AnalysisWindow.h"

#include "core/common/AtomicFile.h"
#include "core/common/Diagnostics.h"
#include "core/common/Parallel.h"
#include "core/stats/RegionMap.h"
#include "core/volume/VolumeSource.h"
#include "gui/analysis/HistogramView.h"
#include "gui/analysis/RegionStatsModel.h"
#include "gui/analysis/SuggestRegionsDialog.h"
#include "gui/model/Workspace.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTableView>
#include <QVBoxLayout>

#include <cstdio>
#include <cstring>

AnalysisWindow::AnalysisWindow(Workspace* work, QWidget* parent)
    : QWidget(parent, Qt::Window), work(work)
{
    setObjectName("Analysis Window");
    setWindowTitle(tr("Lumidra - Region Analysis"));
    buildLayout();
    follow();
    resize(900, 780);
}

void AnalysisWindow::buildLayout()
{
    auto* layout = new QVBoxLayout(this);

    auto* bar = new QHBoxLayout();
    bar->addWidget(new QLabel(tr("Histogram of"), this));
    sliceScope = new QRadioButton(tr("the current slice"), this);
    sliceScope->setObjectName("sliceScope");
    stackScope = new QRadioButton(tr("the whole stack"), this);
    stackScope->setObjectName("stackScope");
    stackScope->setChecked(true);
    auto* scope = new QButtonGroup(this);
    scope->addButton(sliceScope);
    scope->addButton(stackScope);
    logCounts = new QCheckBox(tr("Logarithmic counts"), this);
    logCounts->setObjectName("logCounts");
    bar->addWidget(sliceScope);
    bar->addWidget(stackScope);
    bar->addSpacing(16);
    bar->addWidget(logCounts);
    bar->addSpacing(16);
    auto* islandLabel = new QLabel(tr("Smallest &island:"), this);
    islandBox = new QSpinBox(this);
    islandBox->setObjectName("smallestIsland");
    islandBox->setRange(0, 1'000'000'000);
    islandBox->setSuffix(tr(" voxels"));
    islandBox->setSpecialValueText(tr("off"));
    islandBox->setToolTip(tr("Pieces of a region (6-connected, in 3-D) smaller than this count as "
                             "no region in the table, the export and the Three Planes window. "
                             "The main window's views are not changed."));
    islandLabel->setBuddy(islandBox);
    bar->addWidget(islandLabel);
    bar->addWidget(islandBox);
    bar->addStretch(1);
    auto* suggest = new QPushButton(tr("&Suggest Regions..."), this);
    suggest->setObjectName("suggestButton");
    auto* exportButton = new QPushButton(tr("&Export CSV..."), this);
    exportButton->setObjectName("exportButton");
    bar->addWidget(suggest);
    bar->addWidget(exportButton);
    layout->addLayout(bar);

    histogramView = new HistogramView(this);
    layout->addWidget(histogramView, 3);

    summary = new QLabel(this);
    summary->setObjectName("summary");
    layout->addWidget(summary);
    cursorLine = new QLabel(this);
    cursorLine->setObjectName("cursorLine");
    cursorLine->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(cursorLine);

    model = new RegionStatsModel(this);
    table = new QTableView(this);
    table->setObjectName("regionStats");
    table->setModel(model);
    table->setSelectionMode(QAbstractItemView::NoSelection);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->verticalHeader()->hide();
    table->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    // Sized to the contents once shown, not on every change: measuring every
    // cell again on each edit would cost more than the edit.
    table->horizontalHeader()->setSectionResizeMode(RegionStatsModel::Name, QHeaderView::Stretch);
    // Room for every row: the whole table is the point.
    table->setMinimumHeight(
        table->horizontalHeader()->sizeHint().height() +
        (lumidra::kRegionCount + 1) * table->verticalHeader()->defaultSectionSize() + 4);
    layout->addWidget(table, 4);

    connect(sliceScope, &QRadioButton::toggled, this, [this] { refresh(); });
    connect(logCounts, &QCheckBox::toggled, histogramView, &HistogramView::setLogarithmic);
    connect(islandBox, &QSpinBox::valueChanged, work, &Workspace::setMinIsland);
    connect(suggest, &QPushButton::clicked, this, &AnalysisWindow::suggestRegions);
    connect(exportButton, &QPushButton::clicked, this, &AnalysisWindow::chooseCsvFile);
    connect(histogramView, &HistogramView::minDragged, this, [this](int v) { dragEdge(true, v); });
    connect(histogramView, &HistogramView::maxDragged, this, [this](int v) { dragEdge(false, v); });
    connect(histogramView, &HistogramView::dragFinished, this, [this] {
        dragging = false;
        work->endGesture();
    });
    connect(table, &QTableView::clicked, this,
            [this](const QModelIndex& index) { selectRow(index.row()); });
}

// Everything that changes what the window shows is announced by the
// workspace. A new stack comes after the views took it, so it is read at once.
void AnalysisWindow::follow()
{
    auto later = [this] { scheduleRefresh(); };
    connect(work, &Workspace::regionsChanged, this, later);
    connect(work, &Workspace::currentRegionChanged, this, later);
    connect(work, &Workspace::sliceChanged, this, later);
    connect(work, &Workspace::stackReplaced, this, later);
    connect(work, &Workspace::minIslandChanged, this, [this, later](int voxels) {
        islandBox->setValue(voxels);
        later();
    });

    const QString idle = tr("Point at a slice view to read the pixel under the cursor.");
    cursorLine->setText(idle);
    connect(work, &Workspace::cursorReadingChanged, cursorLine, [this, idle](const QString& text) {
        cursorLine->setText(text.isEmpty() ? idle : text);
    });
}

// Many signals come in one burst (a region switch re-sends every value of
// the record): they are answered by one refresh once the burst is over.
void AnalysisWindow::scheduleRefresh()
{
    if (!isVisible() || refreshPending)
        return;
    refreshPending = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            refreshPending = false;
            refresh();
        },
        Qt::QueuedConnection);
}

void AnalysisWindow::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    refresh();
    table->resizeColumnsToContents();
}

// A closed window keeps no stack alive.
void AnalysisWindow::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    cache = lumidra::HistogramCache();
}

bool AnalysisWindow::showsWholeStack() const
{
    return stackScope->isChecked();
}

void AnalysisWindow::setShowsWholeStack(bool whole)
{
    (whole ? stackScope : sliceScope)->setChecked(true);
}

void AnalysisWindow::refresh()
{
    if (!isVisible())
        return;
    const lumidra::SharedSliceStack& stack = work->stack();
    shownSlice = work->slice();
    const imgMaterial* regions = work->regions().records();
    const lumidra::GreyHistogram& whole = cache.stack(stack);
    const lumidra::GreyHistogram& slice = cache.slice(stack, shownSlice);
    const std::optional<double> ml = stack ? lumidra::voxelMl(*stack) : std::nullopt;

    RegionStatsModel::Contents contents;
    std::copy_n(regions, lumidra::kRegionCount, contents.table.begin());
    contents.current = work->currentRegion();
    const lumidra::IntensityWindow* window = stack ? lumidra::intensityWindow(*stack) : nullptr;
    if (const lumidra::RegionMap* map = islandMap()) {
        contents.slice = lumidra::mapSliceStatistics(*stack, *map, shownSlice, ml);
        contents.stack =
            lumidra::mapStatistics(whole, *stack, *map, ml, lumidra::defaultWorkThreads());
    } else {
        contents.slice = lumidra::regionStatistics(slice, regions, ml, window);
        contents.stack = lumidra::regionStatistics(whole, regions, ml, window);
    }
    contents.stackScope = showsWholeStack();
    model->setContents(std::move(contents));

    histogramView->setCounts(showsWholeStack() ? whole.count : slice.count);
    histogramView->setRegions(regions, work->currentRegion());

    const int count = stack ? stack->count() : 0;
    const QLocale locale;
    QString text = count ? tr("Slice %1 of %2: %3 voxels; stack: %4 voxels")
                               .arg(shownSlice)
                               .arg(count)
                               .arg(locale.toString(static_cast<qulonglong>(slice.total())))
                               .arg(locale.toString(static_cast<qulonglong>(whole.total())))
                         : tr("No slices loaded.");
    if (const lumidra::VolumeSource* source = stack ? stack->source() : nullptr) {
        if (ml)
            text += tr("; voxel %1 x %2 x %3 mm")
                        .arg(source->voxelMm()[0], 0, 'f', 3)
                        .arg(source->voxelMm()[1], 0, 'f', 3)
                        .arg(source->voxelMm()[2], 0, 'f', 3);
        else
            text += tr("; voxel size unknown");
        text += tr("; window %1")
                    .arg(QString::fromStdString(lumidra::describeWindow(source->window())));
        if (const std::uint64_t odd = source->nonFiniteCount())
            text += tr("; %1 voxels NaN or infinite, left out")
                        .arg(locale.toString(static_cast<qulonglong>(odd)));
    } else if (count) {
        text += tr("; a slice directory has no voxel size, so no volumes");
    }
    if (const lumidra::RegionMap* map = islandMap())
        text += tr("; %1 voxels in islands under %2 voxels left out")
                    .arg(locale.toString(static_cast<qulonglong>(map->islandVoxels)))
                    .arg(locale.toString(static_cast<qulonglong>(map->minIsland)));
    summary->setText(text);
}

// Each move of one drag is part of one step.
void AnalysisWindow::dragEdge(bool lower, int v)
{
    // A new drag never continues the step of an earlier one.
    if (!dragging)
        work->endGesture();
    dragging = true;
    work->setRegionField(work->currentRegion(),
                         lower ? Workspace::Field::Min : Workspace::Field::Max, v,
                         Workspace::Gesture::Continuing);
    // At once, so the next move of the same drag starts from the new edge.
    histogramView->setRegions(work->regions().records(), work->currentRegion());
}

// A row of a generated region makes it current, as the Tissue Region slider would.
void AnalysisWindow::selectRow(int row)
{
    if (row < 0 || row >= lumidra::kGeneratedRegions)
        return;
    work->setCurrentRegion(row);
}

QString AnalysisWindow::scopeInput() const
{
    const QString input = QFile::decodeName(work->source().c_str());
    return showsWholeStack() ? input : tr("%1 slice %2").arg(input).arg(shownSlice);
}

const lumidra::RegionMap* AnalysisWindow::islandMap()
{
    const lumidra::SharedSliceStack& stack = work->stack();
    const auto minIsland = static_cast<std::uint64_t>(work->minIsland());
    if (!stack || minIsland == 0) {
        islands = {};
        islandsOf = nullptr;
        return nullptr;
    }
    const imgMaterial* regions = work->regions().records();
    const bool current = islandsOf == stack && islands.minIsland == minIsland &&
                         islands.regions.size() == lumidra::kRegionCount &&
                         std::memcmp(islands.regions.data(), regions,
                                     sizeof(imgMaterial) * lumidra::kRegionCount) == 0;
    if (!current) {
        islands = lumidra::regionMap(*stack, regions, minIsland, lumidra::defaultWorkThreads());
        islandsOf = stack;
    }
    return &islands;
}

// The stack's rows carry each region's pieces, as lumidra-stats writes them;
// without islands left out they are counted here, once per export, not on
// every refresh.
std::string AnalysisWindow::csv() const
{
    const RegionStatsModel::Contents& c = model->contents();
    std::vector<lumidra::RegionStats> rows = c.stackScope ? c.stack : c.slice;
    const lumidra::SharedSliceStack& stack = work->stack();
    const bool counted = !rows.empty() && rows.front().pieces.has_value();
    if (c.stackScope && stack && !counted) {
        const lumidra::RegionMap map =
            lumidra::regionMap(*stack, c.table.data(), 0, lumidra::defaultWorkThreads());
        for (int k = 0; k < lumidra::kRegionCount && k < static_cast<int>(rows.size()); ++k)
            rows[k].pieces = map.pieces[k];
    }
    return lumidra::statsCsvHeader() +
           lumidra::statsCsvRows(scopeInput().toStdString(), rows, c.table.data());
}

QString AnalysisWindow::exportCsv(const QString& path) const
{
    const std::string text = csv();
    const QByteArray name = QFile::encodeName(path);
    const lumidra::SaveOutcome saved =
        lumidra::writeFileAtomically(name.constData(), [&text](std::FILE* out) {
            return std::fwrite(text.data(), 1, text.size(), out) == text.size();
        });
    return QString::fromLocal8Bit(saved.failure);
}

void AnalysisWindow::chooseCsvFile()
{
    QString path = QFileDialog::getSaveFileName(this, tr("Export Region Statistics"),
                                                QStringLiteral("region-statistics.csv"),
                                                tr("CSV files (*.csv)"));
    if (path.isEmpty())
        return;
    if (QFileInfo(path).suffix().isEmpty())
        path += QStringLiteral(".csv");
    const QString failure = exportCsv(path);
    if (failure.isEmpty())
        return;
    lumidra::diag("File not written: %s\n", QFile::encodeName(path).constData());
    QMessageBox::warning(this, tr("Lumidra"), tr("Could not write %1:\n%2").arg(path, failure));
}

void AnalysisWindow::suggestRegions()
{
    refresh();
    const lumidra::GreyCounts counts = cache.stack(work->stack()).count;
    // The classes are found over the whole stack, so that is what the preview shows.
    const bool wasWhole = showsWholeStack();
    setShowsWholeStack(true);

    SuggestRegionsDialog dialog(counts, this);
    connect(&dialog, &SuggestRegionsDialog::previewChanged, histogramView,
            [this](const std::vector<lumidra::GreyRange>& classes) {
                histogramView->setPreview(classes);
            });
    histogramView->setPreview(dialog.classes());
    const bool accepted = dialog.exec() == QDialog::Accepted;
    histogramView->clearPreview();
    if (accepted && !dialog.classes().empty()) {
        lumidra::RegionTable next = work->regions();
        const std::vector<imgMaterial> classes = lumidra::classRegions(dialog.classes());
        for (std::size_t k = 0; k < classes.size() && k < lumidra::kRegionCount; ++k)
            next[static_cast<int>(k)] = classes[k];
        work->replaceRegions(next, tr("Suggest Regions"));
    }
    setShowsWholeStack(wasWhole);
}
