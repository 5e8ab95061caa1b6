#include "gui/model/Workspace.h"

#include "core/common/TextField.h"

#include <QUndoCommand>
#include <QUndoStack>

#include <cstring>
#include <utility>

namespace {

constexpr int kRename = 5; // edit kinds 0..4 are the fields, in Field's order
constexpr int kWholeTable = -1;

std::int32_t imgMaterial::*memberOf(Workspace::Field field)
{
    switch (field) {
    case Workspace::Field::Min:
        return &imgMaterial::min;
    case Workspace::Field::Max:
        return &imgMaterial::max;
    case Workspace::Field::Red:
        return &imgMaterial::red;
    case Workspace::Field::Green:
        return &imgMaterial::green;
    case Workspace::Field::Blue:
        break;
    }
    return &imgMaterial::blue;
}

const char* fieldName(int kind)
{
    static const char* const names[] = {"Min", "Max", "Red", "Green", "Blue", "Name"};
    return names[kind];
}

bool sameRecord(const imgMaterial& a, const imgMaterial& b)
{
    return std::memcmp(&a, &b, sizeof a) == 0;
}

RegionMask changedRecords(const lumidra::RegionTable& a, const lumidra::RegionTable& b)
{
    RegionMask mask = 0;
    for (int k = 0; k < lumidra::kRegionCount; ++k)
        if (!sameRecord(a[k], b[k]))
            mask |= RegionMask{1} << k;
    return mask;
}

bool sameTable(const lumidra::RegionTable& a, const lumidra::RegionTable& b)
{
    return changedRecords(a, b) == 0 && a.defaultRed() == b.defaultRed() &&
           a.defaultGreen() == b.defaultGreen() && a.defaultBlue() == b.defaultBlue();
}

} // namespace

// One step of the region table: the states before and after it. Edits of
// one record's field in one gesture, and the keystrokes of one name, merge
// into the step before them.
class Workspace::Step : public QUndoCommand {
public:
    Step(Workspace& w, State before, State after, const QString& text, int region, int kind,
         bool open)
        : QUndoCommand(text), w_(w), before_(std::move(before)), after_(std::move(after)),
          region_(region), kind_(kind), open_(open)
    {
    }

    void undo() override { w_.restore(before_); }
    void redo() override { w_.restore(after_); }
    int id() const override { return region_ == kWholeTable ? -1 : 1; }

    bool mergeWith(const QUndoCommand* other) override
    {
        const auto* next = static_cast<const Step*>(other);
        if (next->region_ != region_ || next->kind_ != kind_)
            return false;
        if (kind_ != kRename && !(open_ && next->open_))
            return false;
        after_ = next->after_;
        open_ = next->open_;
        // A drag that ends where it began changed nothing.
        setObsolete(sameTable(before_.table, after_.table));
        return true;
    }

    void close() { open_ = false; }
    void amend(const State& s) { after_ = s; }

private:
    Workspace& w_;
    State before_;
    State after_;
    int region_;
    int kind_;
    bool open_;
};

Workspace::Workspace(QObject* parent) : QObject(parent), undo_(new QUndoStack(this))
{
    setObjectName("workspace");
    // Undo, Redo and a new step all leave nothing to amend.
    connect(undo_, &QUndoStack::indexChanged, this, [this] { amendable_ = nullptr; });
}

Workspace::~Workspace() = default;

void Workspace::setStack(lumidra::SharedSliceStack stack, std::string source)
{
    stack_ = std::move(stack);
    source_ = std::move(source);
    emit stackReplaced();
}

void Workspace::setSlice(int z)
{
    if (z == slice_)
        return;
    slice_ = z;
    emit sliceChanged(z);
}

void Workspace::setCurrentRegion(int region)
{
    if (region == current_)
        return;
    current_ = region;
    emit currentRegionChanged(region);
}

void Workspace::setShownRegion(int region)
{
    if (region == shown_)
        return;
    shown_ = region;
    emit shownRegionChanged(region);
}

void Workspace::setCursorReading(const QString& text)
{
    if (text == reading_)
        return;
    reading_ = text;
    emit cursorReadingChanged(text);
}

void Workspace::setRegionField(int region, Field field, int value, Gesture gesture)
{
    if (region < 0 || region >= lumidra::kRegionCount)
        return;
    imgMaterial after = table_[region];
    after.*memberOf(field) = value;
    editRecord(region, static_cast<int>(field), after, gesture == Gesture::Continuing);
}

void Workspace::renameRegion(int region, const char* latin1Name)
{
    if (region < 0 || region >= lumidra::kRegionCount)
        return;
    imgMaterial after = table_[region];
    lumidra::copyBounded(after.name, latin1Name);
    editRecord(region, kRename, after, false);
}

void Workspace::editRecord(int region, int kind, const imgMaterial& after, bool open)
{
    if (sameRecord(table_[region], after))
        return;
    if (restoring_ || quiet_ > 0) {
        table_[region] = after;
        emit regionsChanged(RegionMask{1} << region);
        if (!restoring_ && amendable_)
            amendable_->amend(state());
        return;
    }
    State next = state();
    next.table[region] = after;
    const QString text =
        tr("%1 of %2")
            .arg(QString::fromLatin1(fieldName(kind)), QString::fromLatin1(table_[region].name));
    pushStep(new Step(*this, state(), std::move(next), text, region, kind, open));
}

void Workspace::replaceRegions(const lumidra::RegionTable& table, const QString& text)
{
    if (sameTable(table_, table)) {
        amendable_ = nullptr;
        return;
    }
    if (restoring_ || quiet_ > 0) {
        // Not a step of its own: the table as it comes, announced.
        State next = state();
        next.table = table;
        restore(next);
        return;
    }
    State next = state();
    next.table = table;
    pushStep(new Step(*this, state(), std::move(next), text, kWholeTable, kWholeTable, false));
}

void Workspace::pushStep(Step* step)
{
    undo_->push(step);
    amendable_ =
        undo_->index() > 0
            ? static_cast<Step*>(const_cast<QUndoCommand*>(undo_->command(undo_->index() - 1)))
            : nullptr;
}

void Workspace::endGesture()
{
    if (undo_->index() > 0)
        static_cast<Step*>(const_cast<QUndoCommand*>(undo_->command(undo_->index() - 1)))->close();
}

void Workspace::restore(const State& s)
{
    const bool wasRestoring = std::exchange(restoring_, true);
    const RegionMask changed = changedRecords(table_, s.table);
    table_ = s.table;
    // The region first: whoever shows it then shows the restored record.
    setCurrentRegion(s.current);
    if (changed)
        emit regionsChanged(changed);
    setShownRegion(s.shown);
    restoring_ = wasRestoring;
}
