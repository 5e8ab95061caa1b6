#pragma once

#include "core/dicom/DicomInput.h"
#include "core/regions/ImgMaterial.h"
#include "core/regions/RegionTable.h"
#include "core/slices/SliceLoader.h"
#include "core/slices/SliceStack.h"
#include "core/volume/WindowPolicy.h"
#include "gui/model/Workspace.h"

#include <QString>
#include <QWidget>

#include <cstdint>
#include <string>
#include <vector>

class AnalysisWindow;
class CursorProbe;
class DisplayRegion;
class ImageSelect;
class InputRegion;
class PlanesWindow;
class RtSlider;
class QCloseEvent;
class QMenuBar;
class QGridLayout;

// What the window shows at start-up: an image directory (a path prefix
// ending in '/'), or a stack already read, such as a volume.
// What the views show at start-up: the image directory they load, or a
// stack read before the window (then path names the volume it came from).
struct StartupImages {
    std::string path = lumidra::kDefaultImageDir;
    lumidra::SharedSliceStack stack;
    // The intensity window volumes are opened with (--window).
    lumidra::WindowPolicy window;
};

// The main window: the hub between its controls and the two slice views. What
// the user works on (the stack, the region table, the current slice and
// region) lives in the workspace it owns and shares with every other window;
// its slots store what the controls report there, and what other windows or
// Undo change there comes back through the same controls.
class MainWidget : public QWidget {
    Q_OBJECT
public:
    explicit MainWidget(QWidget* parent = nullptr, const char* name = nullptr);
    explicit MainWidget(const StartupImages& start, QWidget* parent = nullptr,
                        const char* name = nullptr);

    // Read access for tests and tools; the window itself is driven through slots.
    const lumidra::RegionTable& regionTable() const { return work->regions(); }
    Workspace* workspace() const { return work; }
    int currentRegion() const { return regionNum; }
    int currentImage() const { return pixNum; }
    int currentWaveletDepth() const { return waveletDepth; }
    int imageCount() const { return numPix; }
    DisplayRegion* greyView() const { return dr1; }
    DisplayRegion* colourView() const { return dr2; }

    static const char* informationText();

    // Stores records 0..n-1 (at most 17) over the table and announces them as
    // opening a region info file does: the current record, then the table.
    void applyRegions(const std::vector<imgMaterial>& records);
    // Analysis → Region Analysis…: opens the one Analysis window, or raises it.
    void showAnalysis();
    AnalysisWindow* analysisWindow() const { return analysis; }
    // Volume → Three Planes…: opens the one Three Planes window, or raises it.
    void showPlanes();
    PlanesWindow* planesWindow() const { return planes; }
    CursorProbe* cursorProbe() const { return probe; }
    // The directory or volume the views show, as the file system names it.
    const std::string& imageSource() const { return work->source(); }
    // The Volume menu's commands (plain members, connected by pointer).
    void selOpenVolume();
    void selOpenDicomFolder();
    void selExportRegionMap();
    void selIntensityWindow();
    // What those commands do once a file is chosen. False (with a diagnostic
    // line, and the reason in why) when nothing changed.
    bool openVolumeFile(const std::string& path, std::string* why = nullptr);
    // A DICOM folder, DICOMDIR or file: its one series (or the file's) is
    // opened; of several, the one picked in the series dialog. False when
    // nothing was opened (cancelled, or why says why).
    bool openDicomPath(const std::string& path, std::string* why = nullptr);
    // Asks which of the folder's series to open, and opens it.
    bool chooseDicomSeries(const lumidra::DicomFolder& found, std::string* why = nullptr);
    bool exportRegionMap(const std::string& prefix, std::string* why = nullptr);
    // Volumes from now on, and the one shown, go through the policy's window;
    // the views keep their slice and region. False (with a diagnostic line,
    // and the reason in why) when the volume shown could not take it.
    bool applyVolumeWindow(const lumidra::WindowPolicy& policy, std::string* why = nullptr);
    // The intensity window the next volume is opened with.
    const lumidra::WindowPolicy& volumeWindow() const { return work->windowPolicy(); }
    void setVolumeWindow(const lumidra::WindowPolicy& policy) { work->setWindowPolicy(policy); }

signals:
    void updateRegion(imgMaterial*);
    void updateImgNum(int);
    void updateNumImg(int);
    void updateColorInfo(imgMaterial*);
    void updateRegionNum(int);
    void updateImageDirectory(char*);
    void makeWavelet(int);
    void signalQuit();

public slots:
    void changeRegion(int i);
    void changePix(int i);
    void changeNumPix(int n);
    void changeWavelet(int d);
    void changeName(const QString& text);
    void changeMin(int v);
    void changeMax(int v);
    void changeRed(int v);
    void changeGreen(int v);
    void changeBlue(int v);
    void clkApply();
    void clkSave();
    void clkLoad();
    void clkNewWavelet();
    void clkShowAll();
    void clkClearAll();
    void clkDefaultReg();
    void clkWaveletify();
    void selOpen();
    void selExit();
    void selAbout();
    void selInfo();

protected:
    // Closing the main window ends the program, even while wavelet windows are open.
    void closeEvent(QCloseEvent* event) override;

private:
    void buildViews(QGridLayout* grid, const StartupImages& start);
    void buildRegionEditor(QGridLayout* grid);
    void buildControlPanel(QGridLayout* grid);
    void buildMenuBar(QGridLayout* grid);
    void buildVolumeMenu(QMenuBar* bar);
    bool showDicomSeries(const lumidra::DicomSeries& series, const std::string& source,
                         std::string* why);
    void buildAnalysisMenu(QMenuBar* bar);
    void buildEditMenu(QMenuBar* bar);
    void followWorkspace();

    // What another window, or Undo, changed in the workspace reaches the
    // views through this window's own controls, as if the user had used them.
    void followRegions(RegionMask which);
    void followCurrentRegion(int region);
    void followShownRegion(int region);
    void followSlice(int z);
    // After both views took a new stack: the workspace holds it too.
    void tookNewStack(const std::string& from);
    // A whole new table as one step, announced as opening a region file does.
    void replaceTable(const lumidra::RegionTable& next, const QString& step, bool tableFirst);

    // Stores a range or colour value into the current record and sends the table to dr2.
    void storeInCurrentRecord(Workspace::Field field, RtSlider* slider, int v);

    imgMaterial* currentRecord() { return &work->tableStorage()[regionNum]; }
    imgMaterial* wholeTable() { return work->tableStorage().records(); }

    // Set while this window itself changes the workspace, so that it does not
    // answer its own changes.
    class OwnEdit {
    public:
        explicit OwnEdit(MainWidget& w) : w_(w) { ++w_.ownEdits; }
        ~OwnEdit() { --w_.ownEdits; }
        OwnEdit(const OwnEdit&) = delete;
        OwnEdit& operator=(const OwnEdit&) = delete;

    private:
        MainWidget& w_;
    };

    Workspace* work = nullptr;
    int ownEdits = 0;
    DisplayRegion* dr1 = nullptr;
    DisplayRegion* dr2 = nullptr;
    InputRegion* ir = nullptr;
    RtSlider* regionSlider = nullptr;
    ImageSelect* imgSel = nullptr;
    int regionNum = 0;
    int pixNum = 0;
    int waveletDepth = 4;
    int numPix = 0;
    AnalysisWindow* analysis = nullptr;
    PlanesWindow* planes = nullptr;
    CursorProbe* probe = nullptr;
};
