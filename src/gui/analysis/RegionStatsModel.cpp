#include "gui/analysis/RegionStatsModel.h"

#include <QBrush>
#include <QColor>
#include <QFont>
#include <QLocale>

#include <cstring>
#include <utility>

namespace {

constexpr int kRows = lumidra::kRegionCount + 1; // the records and "no region"

QString count(std::uint64_t n)
{
    return QLocale().toString(static_cast<qulonglong>(n));
}

} // namespace

RegionStatsModel::RegionStatsModel(QObject* parent) : QAbstractTableModel(parent) {}

namespace {

bool sameStats(const std::vector<lumidra::RegionStats>& a,
               const std::vector<lumidra::RegionStats>& b, int row)
{
    const bool inA = row < static_cast<int>(a.size());
    const bool inB = row < static_cast<int>(b.size());
    if (!inA || !inB)
        return inA == inB;
    const lumidra::RegionStats& x = a[row];
    const lumidra::RegionStats& y = b[row];
    return x.voxels == y.voxels && x.fraction == y.fraction && x.volumeMl == y.volumeMl &&
           x.meanSample == y.meanSample;
}

} // namespace

// Only the rows that changed are announced, so a view repaints what changed:
// a colour edit touches one row.
void RegionStatsModel::setContents(Contents contents)
{
    const bool scopeChanged = contents.stackScope != shown.stackScope;
    std::swap(shown, contents);
    const Contents& old = contents;
    for (int row = 0; row < kRows; ++row) {
        const bool same =
            !scopeChanged && (row == shown.current) == (row == old.current) &&
            (row >= lumidra::kRegionCount ||
             std::memcmp(&shown.table[row], &old.table[row], sizeof(imgMaterial)) == 0) &&
            sameStats(shown.slice, old.slice, row) && sameStats(shown.stack, old.stack, row);
        if (!same)
            emit dataChanged(index(row, 0), index(row, ColumnCount - 1));
    }
    if (scopeChanged)
        emit headerDataChanged(Qt::Horizontal, Fraction, Mean);
}

int RegionStatsModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : kRows;
}

int RegionStatsModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

const lumidra::RegionStats* RegionStatsModel::scoped(int row) const
{
    const auto& rows = shown.stackScope ? shown.stack : shown.slice;
    return row < static_cast<int>(rows.size()) ? &rows[row] : nullptr;
}

QVariant RegionStatsModel::text(int row, int column) const
{
    const bool record = row < lumidra::kRegionCount;
    const imgMaterial* r = record ? &shown.table[row] : nullptr;
    const lumidra::RegionStats* s = scoped(row);
    switch (column) {
    case Index:
        return record ? QString::number(row) : QStringLiteral("none");
    case Name:
        return r ? QString::fromLatin1(r->name, strnlen(r->name, sizeof r->name)) : tr("no region");
    case Min:
        return r ? QVariant(r->min) : QVariant();
    case Max:
        return r ? QVariant(r->max) : QVariant();
    case Values: {
        // The range in the scan's units is the same in either scope.
        const lumidra::RegionStats* w =
            row < static_cast<int>(shown.stack.size()) ? &shown.stack[row] : nullptr;
        if (!w || !w->minValue || !w->maxValue)
            return QString();
        return tr("%1 to %2")
            .arg(QLocale().toString(*w->minValue, 'g', 6),
                 QLocale().toString(*w->maxValue, 'g', 6));
    }
    case SliceVoxels:
        return row < static_cast<int>(shown.slice.size()) ? count(shown.slice[row].voxels)
                                                          : QString();
    case StackVoxels:
        return row < static_cast<int>(shown.stack.size()) ? count(shown.stack[row].voxels)
                                                          : QString();
    case Fraction:
        return s ? QLocale().toString(100.0 * s->fraction, 'f', 2) + QStringLiteral(" %")
                 : QString();
    case Volume:
        return s && s->volumeMl ? QLocale().toString(*s->volumeMl, 'f', 3) : QString();
    case Mean:
        return s && s->meanSample ? QLocale().toString(*s->meanSample, 'f', 1) : QString();
    case Pieces: {
        // Pieces are the whole scan's, counted when small islands are left out.
        const bool known = row < static_cast<int>(shown.stack.size()) && shown.stack[row].pieces;
        return known ? count(*shown.stack[row].pieces) : QString();
    }
    default:
        return QVariant();
    }
}

QVariant RegionStatsModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= kRows)
        return QVariant();
    const int row = index.row();
    const bool isCurrent = row == shown.current;
    switch (role) {
    case Qt::DisplayRole:
        return text(row, index.column());
    case Qt::TextAlignmentRole:
        return index.column() >= SliceVoxels || index.column() == Min || index.column() == Max ||
                       index.column() == Values
                   ? QVariant(Qt::AlignRight | Qt::AlignVCenter)
                   : QVariant(Qt::AlignLeft | Qt::AlignVCenter);
    case Qt::BackgroundRole:
        if (index.column() == Colour && row < lumidra::kRegionCount) {
            const imgMaterial& r = shown.table[row];
            return QBrush(QColor(lumidra::colourByte(r.red), lumidra::colourByte(r.green),
                                 lumidra::colourByte(r.blue)));
        }
        return isCurrent ? QVariant(QBrush(QColor(255, 236, 160))) : QVariant();
    case Qt::FontRole:
        if (isCurrent) {
            QFont bold;
            bold.setBold(true);
            return bold;
        }
        return QVariant();
    case Qt::ToolTipRole:
        if (index.column() == Colour && row < lumidra::kRegionCount) {
            const imgMaterial& r = shown.table[row];
            return tr("red %1, green %2, blue %3").arg(r.red).arg(r.green).arg(r.blue);
        }
        return QVariant();
    default:
        return QVariant();
    }
}

QVariant RegionStatsModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole)
        return QVariant();
    if (orientation == Qt::Vertical)
        return QVariant();
    const QString scope = shown.stackScope ? tr("stack") : tr("slice");
    switch (section) {
    case Index:
        return tr("#");
    case Name:
        return tr("Name");
    case Min:
        return tr("Min");
    case Max:
        return tr("Max");
    case Values:
        return tr("Values (scan's units)");
    case Colour:
        return tr("Colour");
    case SliceVoxels:
        return tr("Voxels (slice)");
    case StackVoxels:
        return tr("Voxels (stack)");
    case Fraction:
        return tr("Fraction (%1)").arg(scope);
    case Volume:
        return tr("Volume mL (%1)").arg(scope);
    case Mean:
        return tr("Mean sample (%1)").arg(scope);
    case Pieces:
        return tr("Pieces (stack)");
    default:
        return QVariant();
    }
}
