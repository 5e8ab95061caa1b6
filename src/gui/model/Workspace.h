#pragma once

#include "core/regions/ImgMaterial.h"
#include "core/regions/RegionTable.h"
#include "core/slices/SliceStack.h"
#include "core/volume/WindowPolicy.h"

#include <QObject>
#include <QString>

#include <cstdint>
#include <string>

class QUndoStack;

// Records of the region table, one bit each (bit k: record k).
using RegionMask = std::uint32_t;

// What the user works on, shared by every window: the stack the views show
// and where it came from, the region table, the current slice and region,
// and the rule the colour view paints by. Windows read it, edit it through
// its setters and follow its signals; they never reach into each other.
// Every change to the region table is a step on the undo stack.
class Workspace : public QObject {
    Q_OBJECT
public:
    // The region fields a slider edits.
    enum class Field { Min, Max, Red, Green, Blue };
    // Whether an edit belongs to a gesture still under way (a slider held
    // down, a band dragged): consecutive edits of one field in one gesture
    // are one step.
    enum class Gesture { Single, Continuing };
    // The colour view's rule: the current region over the grey, or every
    // region (Show All).
    static constexpr int kShowAll = -1;

    explicit Workspace(QObject* parent = nullptr);
    ~Workspace() override;

    const lumidra::SharedSliceStack& stack() const { return stack_; }
    // The image directory (ending in '/') or the volume the stack came from,
    // as the file system names it.
    const std::string& source() const { return source_; }
    void setStack(lumidra::SharedSliceStack stack, std::string source);

    // How volumes are put on the views' 12-bit scale: the policy the next
    // volume is opened with (the stack's own source says which window it got).
    const lumidra::WindowPolicy& windowPolicy() const { return policy_; }
    void setWindowPolicy(const lumidra::WindowPolicy& policy) { policy_ = policy; }

    const lumidra::RegionTable& regions() const { return table_; }
    // The table's storage, for the views that keep a pointer to it. Writing
    // through it bypasses undo and the signals: only the table's owner does,
    // at start-up.
    lumidra::RegionTable& tableStorage() { return table_; }

    int slice() const { return slice_; }
    void setSlice(int z);
    int currentRegion() const { return current_; }
    void setCurrentRegion(int region);
    // kShowAll, or the region the colour view paints.
    int shownRegion() const { return shown_; }
    void setShownRegion(int region);

    // Region edits, each a step (or part of one) on the undo stack; an edit
    // that changes nothing is no step.
    void setRegionField(int region, Field field, int value, Gesture gesture = Gesture::Single);
    // Keystrokes into one region's name are one step, until another kind of edit.
    void renameRegion(int region, const char* latin1Name);
    // A whole new table (Default Regions, Clear Regions, a region file,
    // suggested regions): one step named text.
    void replaceRegions(const lumidra::RegionTable& table, const QString& text);
    // Ends the gesture under way: the next edit starts a step of its own.
    void endGesture();

    QUndoStack* undoStack() const { return undo_; }

    // Pieces of a region smaller than this many voxels (6-connected, in 3-D)
    // count as no region in the statistics, region maps and the three planes;
    // 0 leaves every piece in. The main window's views never leave any out.
    int minIsland() const { return minIsland_; }
    void setMinIsland(int voxels);

    // The last reading of the value under the cursor in any view; empty when
    // the cursor is on none.
    const QString& cursorReading() const { return reading_; }
    void setCursorReading(const QString& text);

    // While a quiet edit is under way, edits go into the table as they are
    // and into the step just made, never into a step of their own: the main
    // window wraps in one its re-announcing of a record to the region editor,
    // whose sliders report every value back (and clamp what lies outside
    // 0..255, as they always have).
    class QuietEdits {
    public:
        explicit QuietEdits(Workspace& w) : w_(w) { ++w_.quiet_; }
        ~QuietEdits() { --w_.quiet_; }
        QuietEdits(const QuietEdits&) = delete;
        QuietEdits& operator=(const QuietEdits&) = delete;

    private:
        Workspace& w_;
    };

    // What undo and redo restore: the table and what the user had in front
    // of them when the step was made.
    struct State {
        lumidra::RegionTable table;
        int current = 0;
        int shown = 0;
    };
    State state() const { return {table_, current_, shown_}; }
    // Puts a state back and announces what changed (undo and redo).
    void restore(const State& s);

signals:
    // The stack (and its source) was replaced.
    void stackReplaced();
    // These records of the table changed.
    void regionsChanged(RegionMask which);
    void sliceChanged(int z);
    void currentRegionChanged(int region);
    void shownRegionChanged(int region);
    void cursorReadingChanged(const QString& text);
    void minIslandChanged(int voxels);

private:
    class Step;
    // Applies an edit of one record: a step of its own, part of the one
    // under way, or (quiet, or while a step is put back) no step at all.
    void editRecord(int region, int kind, const imgMaterial& after, bool open);
    void pushStep(Step* step);

    lumidra::SharedSliceStack stack_;
    std::string source_;
    lumidra::WindowPolicy policy_;
    lumidra::RegionTable table_;
    int slice_ = 0;
    int current_ = 0;
    int shown_ = 0;
    QString reading_;
    int minIsland_ = 0;
    QUndoStack* undo_ = nullptr;
    // The step just made, while quiet edits may still amend it.
    Step* amendable_ = nullptr;
    int quiet_ = 0;
    bool restoring_ = false;
};
