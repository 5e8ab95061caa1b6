#include "gui/app/MainWidget.h"

#include "gui/analysis/AnalysisWindow.h"
#include "gui/analysis/CursorProbe.h"
#include "gui/controls/ImageSelect.h"
#include "gui/controls/InputRegion.h"
#include "gui/controls/RtSlider.h"
#include "gui/planes/PlanesWindow.h"
#include "gui/views/DisplayRegion.h"

#include <QGridLayout>
#include <QKeySequence>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSlider>
#include <QUndoStack>

#include <cstring>
#include <utility>

MainWidget::MainWidget(QWidget* parent, const char* name)
    : MainWidget(StartupImages{}, parent, name)
{
}

MainWidget::MainWidget(const StartupImages& start, QWidget* parent, const char* name)
    : QWidget(parent)
{
    if (name)
        setObjectName(QString::fromLatin1(name));
    work = new Workspace(this);
    work->tableStorage().initRegions();

    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(10, 10, 10, 10);
    grid->setSpacing(10);

    buildViews(grid, start);
    buildRegionEditor(grid);
    buildControlPanel(grid);
    buildMenuBar(grid);
    probe = new CursorProbe(work, {dr1, dr2}, this);
    followWorkspace();
}

void MainWidget::buildViews(QGridLayout* grid, const StartupImages& start)
{
    work->setWindowPolicy(start.window);
    const char* dir = start.path.c_str();
    dr1 = start.stack ? new DisplayRegion(this, "dr1", start.stack)
                      : new DisplayRegion(this, "dr1", pixNum, dir);
    grid->addWidget(dr1, 1, 1);
    connect(dr1, &DisplayRegion::numPixChanged, this, &MainWidget::changeNumPix);
    numPix = dr1->announceNumPix();

    // dr2 takes over the stack a temporary view loads again; the stack
    // outlives the temporary. When the slices are dr1's, that load keeps
    // dr1's stack, so the two views hold one copy. A stack read before
    // start-up is held by both views, not read again.
    auto* loader = start.stack ? new DisplayRegion(dr1, nullptr, start.stack)
                               : new DisplayRegion(dr1, nullptr, 0, dir);
    dr2 = new DisplayRegion(this, "dr2", *loader);
    delete loader;
    grid->addWidget(dr2, 2, 1);

    connect(this, &MainWidget::updateColorInfo, dr2, &DisplayRegion::changeRegions);
    emit updateColorInfo(wholeTable());
    work->setStack(dr1->sliceStack(), start.path);
}

void MainWidget::buildRegionEditor(QGridLayout* grid)
{
    ir = new InputRegion(this, "ir");
    ir->setValues(currentRecord());
    grid->addWidget(ir, 1, 0);

    connect(this, &MainWidget::updateRegion, ir, &InputRegion::setValues);
    connect(this, &MainWidget::updateRegionNum, dr2, &DisplayRegion::changeRegionNum);
    connect(ir->nameEdit, &QLineEdit::textChanged, this, &MainWidget::changeName);
    connect(ir, &InputRegion::minSignal, this, &MainWidget::changeMin);
    connect(ir, &InputRegion::maxSignal, this, &MainWidget::changeMax);
    connect(ir, &InputRegion::redSignal, this, &MainWidget::changeRed);
    connect(ir, &InputRegion::greenSignal, this, &MainWidget::changeGreen);
    connect(ir, &InputRegion::blueSignal, this, &MainWidget::changeBlue);
    // A drag of one slider, from press to release, is one step of Undo.
    for (RtSlider* slider :
         {ir->minSlider, ir->maxSlider, ir->redSlider, ir->greenSlider, ir->blueSlider}) {
        connect(slider->innerSlider(), &QSlider::sliderPressed, work, &Workspace::endGesture);
        connect(slider->innerSlider(), &QSlider::sliderReleased, work, &Workspace::endGesture);
    }
}

void MainWidget::buildControlPanel(QGridLayout* grid)
{
    auto* panel = new QGridLayout();
    panel->setContentsMargins(2, 2, 2, 2);
    panel->setSpacing(2);

    regionSlider = new RtSlider(this, "Region Slider", 0, 15, 0, "Tissue Region");
    connect(regionSlider, &RtSlider::valueChanged, this, &MainWidget::changeRegion);
    connect(regionSlider, &RtSlider::valueChanged, dr2, &DisplayRegion::changeRegionNum);
    connect(regionSlider, &RtSlider::valueChanged, this, [this](int region) {
        OwnEdit own(*this);
        work->setShownRegion(region);
    });
    panel->addWidget(regionSlider, 0, 0, 1, 5);
    // The window starts with the focus here, not in the name field, which
    // would take Ctrl+X and Ctrl+A as Cut and Select All instead of Exit and
    // About. Once the user is in the name field, its own editing keys win.
    regionSlider->innerSlider()->setFocus();

    struct Command {
        const char* text;
        void (MainWidget::*slot)();
        int row;
        int column;
    };
    const Command commands[] = {
        {"Show All Regions", &MainWidget::clkShowAll, 1, 2},
        {"Default Regions", &MainWidget::clkDefaultReg, 2, 2},
        {"Clear Regions", &MainWidget::clkClearAll, 3, 2},
        {"Waveletify", &MainWidget::clkWaveletify, 4, 0},
    };
    for (const Command& c : commands) {
        auto* button = new QPushButton(QString::fromLatin1(c.text), this);
        button->setFixedSize(100, 40);
        connect(button, &QPushButton::clicked, this, c.slot);
        panel->addWidget(button, c.row, c.column);
    }
    connect(this, &MainWidget::makeWavelet, dr2, &DisplayRegion::waveletIfy);

    auto* depthSlider = new RtSlider(this, "Wavelet Slider", 0, 8, 4, "Wavelet Debth");
    waveletDepth = 4;
    connect(depthSlider, &RtSlider::valueChanged, this, &MainWidget::changeWavelet);
    panel->addWidget(depthSlider, 4, 1, 1, 4);

    imgSel = new ImageSelect(this, "imgSel", 0, numPix - 1, 0, "Image Number: ");
    connect(imgSel, &ImageSelect::valueChanged, dr1, &DisplayRegion::changeImage);
    connect(imgSel, &ImageSelect::valueChanged, dr2, &DisplayRegion::changeImage);
    connect(imgSel, &ImageSelect::valueChanged, this, &MainWidget::changePix);
    connect(this, &MainWidget::updateNumImg, imgSel, &ImageSelect::changeMax);
    panel->addWidget(imgSel, 5, 0, 1, 5);

    grid->addLayout(panel, 2, 0);
}

void MainWidget::buildMenuBar(QGridLayout* grid)
{
    auto* bar = new QMenuBar(this);
    bar->setObjectName("Menu Bar");

    auto* file = new QMenu("File", bar);
    file->setObjectName("File Menu");
    auto* open = file->addAction("&Open...", QKeySequence(Qt::CTRL | Qt::Key_O));
    connect(open, &QAction::triggered, this, &MainWidget::selOpen);
    connect(this, &MainWidget::updateImageDirectory, dr1, &DisplayRegion::changeImageDir);
    connect(this, &MainWidget::updateImageDirectory, dr2, &DisplayRegion::changeImageDir);
    auto* load = file->addAction("O&pen Region Info...", QKeySequence(Qt::CTRL | Qt::Key_P));
    connect(load, &QAction::triggered, this, &MainWidget::clkLoad);
    auto* save = file->addAction("&Save Region Info...", QKeySequence(Qt::CTRL | Qt::Key_S));
    connect(save, &QAction::triggered, this, &MainWidget::clkSave);
    file->addSeparator();
    auto* exit = file->addAction("E&xit", QKeySequence(Qt::CTRL | Qt::Key_X));
    connect(exit, &QAction::triggered, this, &MainWidget::selExit);
    bar->addMenu(file);

    auto* wavelet = new QMenu("Wavelet", bar);
    wavelet->setObjectName("Wavelet");
    auto* window =
        wavelet->addAction("Haa&r Wavelet Window...", QKeySequence(Qt::CTRL | Qt::Key_R));
    connect(window, &QAction::triggered, this, &MainWidget::clkNewWavelet);
    bar->addMenu(wavelet);

    auto* help = new QMenu("Help", bar);
    help->setObjectName("Help");
    auto* info = help->addAction("&Information", QKeySequence(Qt::CTRL | Qt::Key_I));
    connect(info, &QAction::triggered, this, &MainWidget::selInfo);
    auto* about = help->addAction("&About", QKeySequence(Qt::CTRL | Qt::Key_A));
    connect(about, &QAction::triggered, this, &MainWidget::selAbout);
    bar->addMenu(help);
    buildVolumeMenu(bar);
    buildAnalysisMenu(bar);
    buildEditMenu(bar);

    grid->addWidget(bar, 0, 0, 1, 2);
}

// The menus that came later follow Help, so File, Wavelet and Help keep their
// places in the bar and their items.
void MainWidget::buildVolumeMenu(QMenuBar* bar)
{
    auto* menu = new QMenu("Volume", bar);
    menu->setObjectName("Volume");
    auto* open = menu->addAction("&Open Volume...", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_O));
    connect(open, &QAction::triggered, this, &MainWidget::selOpenVolume);
    auto* dicom =
        menu->addAction("Open &DICOM Folder...", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_D));
    connect(dicom, &QAction::triggered, this, &MainWidget::selOpenDicomFolder);
    auto* exportMap = menu->addAction("&Export Region Map...");
    connect(exportMap, &QAction::triggered, this, &MainWidget::selExportRegionMap);
    auto* window = menu->addAction("&Intensity Window...");
    connect(window, &QAction::triggered, this, &MainWidget::selIntensityWindow);
    auto* planes =
        menu->addAction("Three &Planes...", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_P));
    connect(planes, &QAction::triggered, this, &MainWidget::showPlanes);
    bar->addMenu(menu);
}

void MainWidget::buildAnalysisMenu(QMenuBar* bar)
{
    auto* menu = new QMenu("Analysis", bar);
    menu->setObjectName("Analysis");
    auto* window = menu->addAction("Region &Analysis...", QKeySequence(Qt::CTRL | Qt::Key_T));
    connect(window, &QAction::triggered, this, &MainWidget::showAnalysis);
    bar->addMenu(menu);
}

void MainWidget::buildEditMenu(QMenuBar* bar)
{
    auto* menu = new QMenu("Edit", bar);
    menu->setObjectName("Edit");
    QAction* undo = work->undoStack()->createUndoAction(menu, tr("&Undo"));
    undo->setObjectName("undoAction");
    undo->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z));
    QAction* redo = work->undoStack()->createRedoAction(menu, tr("&Redo"));
    redo->setObjectName("redoAction");
    redo->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z));
    menu->addAction(undo);
    menu->addAction(redo);
    bar->addMenu(menu);
}

void MainWidget::showAnalysis()
{
    if (!analysis) {
        analysis = new AnalysisWindow(work, this);
        // Beside the main window, not over the views it reads from.
        analysis->move(frameGeometry().topRight() + QPoint(8, 0));
    }
    analysis->show();
    analysis->raise();
    analysis->activateWindow();
}

void MainWidget::showPlanes()
{
    if (!planes) {
        planes = new PlanesWindow(work, this);
        // Beside the main window, not over the views it follows.
        planes->move(frameGeometry().topRight() + QPoint(8, 0));
    }
    planes->show();
    planes->raise();
    planes->activateWindow();
}

void MainWidget::followWorkspace()
{
    connect(work, &Workspace::regionsChanged, this, &MainWidget::followRegions);
    connect(work, &Workspace::currentRegionChanged, this, &MainWidget::followCurrentRegion);
    connect(work, &Workspace::shownRegionChanged, this, &MainWidget::followShownRegion);
    connect(work, &Workspace::sliceChanged, this, &MainWidget::followSlice);
}

void MainWidget::followRegions(RegionMask which)
{
    if (ownEdits)
        return;
    OwnEdit own(*this);
    Workspace::QuietEdits quiet(*work);
    const RegionMask current = RegionMask{1} << regionNum;
    if (which != current) {
        // Several records, as after opening a region file: the current one
        // to the editor first, then the table to dr2.
        if (which & current)
            emit updateRegion(currentRecord());
        emit updateColorInfo(wholeTable());
        return;
    }
    // One field of the current record (a band dragged in the histogram, an
    // edit undone): through the editor's own slider, as the user would.
    const imgMaterial& r = *currentRecord();
    const QString name =
        QString::fromLatin1(r.name, static_cast<qsizetype>(strnlen(r.name, sizeof r.name)));
    bool moved = false;
    if (ir->nameEdit->text() != name) {
        ir->nameEdit->setText(name);
        moved = true;
    }
    const std::pair<RtSlider*, int> fields[] = {{ir->minSlider, r.min},
                                                {ir->maxSlider, r.max},
                                                {ir->redSlider, r.red},
                                                {ir->greenSlider, r.green},
                                                {ir->blueSlider, r.blue}};
    for (const auto& [slider, value] : fields) {
        if (slider->currentValue() != value) {
            slider->setValue(value);
            moved = true;
        }
    }
    if (!moved)
        emit updateColorInfo(wholeTable());
}

void MainWidget::followCurrentRegion(int region)
{
    if (ownEdits)
        return;
    // The Tissue Region slider, so dr2 paints the region as well.
    regionSlider->setValue(region);
}

void MainWidget::followShownRegion(int region)
{
    if (ownEdits)
        return;
    OwnEdit own(*this);
    emit updateRegionNum(region);
}

void MainWidget::followSlice(int z)
{
    if (ownEdits)
        return;
    imgSel->setValue(z);
}

void MainWidget::tookNewStack(const std::string& from)
{
    OwnEdit own(*this);
    // A load puts dr2 back on region 0, whatever the Tissue Region slider says.
    work->setShownRegion(dr2->regionIndex());
    work->setStack(dr1->sliceStack(), from);
}
