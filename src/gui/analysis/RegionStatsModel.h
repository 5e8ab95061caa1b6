#pragma once

#include "core/regions/ImgMaterial.h"
#include "core/stats/RegionStats.h"

#include <QAbstractTableModel>

#include <array>
#include <vector>

// The Analysis window's region table: one row per record in table order and
// one for the voxels no region takes. Fraction, volume and mean sample are
// over the scope the window shows (the current slice or the whole stack).
class RegionStatsModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column {
        Index,
        Name,
        Min,
        Max,
        Values,
        Colour,
        SliceVoxels,
        StackVoxels,
        Fraction,
        Volume,
        Mean,
        Pieces,
        ColumnCount
    };

    explicit RegionStatsModel(QObject* parent = nullptr);

    struct Contents {
        std::array<imgMaterial, lumidra::kRegionCount> table{};
        int current = 0;
        std::vector<lumidra::RegionStats> slice;
        std::vector<lumidra::RegionStats> stack;
        bool stackScope = true;
    };
    void setContents(Contents contents);
    const Contents& contents() const { return shown; }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    QVariant text(int row, int column) const;
    const lumidra::RegionStats* scoped(int row) const;

    Contents shown;
};
