#include "gui/app/DicomSeriesDialog.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QTableWidget>
#include <QVBoxLayout>

DicomSeriesDialog::DicomSeriesDialog(const std::vector<lumidra::DicomSeries>& series,
                                     QWidget* parent)
    : QDialog(parent)
{
    setObjectName("DicomSeriesDialog");
    setWindowTitle(tr("Open DICOM Series"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(tr("The folder holds %1 series. Open which?").arg(series.size())));

    table = new QTableWidget(static_cast<int>(series.size()), 6, this);
    table->setObjectName("seriesTable");
    table->setHorizontalHeaderLabels(
        {tr("Series"), tr("Description"), tr("Modality"), tr("Size"), tr("Slices"), tr("Note")});
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setSelectionMode(QAbstractItemView::SingleSelection);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->verticalHeader()->hide();
    for (int row = 0; row < table->rowCount(); ++row) {
        const lumidra::DicomSeries& s = series[static_cast<std::size_t>(row)];
        const QString note = QString::fromStdString(s.problem.empty() ? s.warning : s.problem);
        const QString cells[] = {
            QString::fromStdString(s.tag),      QString::fromStdString(s.description),
            QString::fromStdString(s.modality), QString("%1 x %2").arg(s.columns).arg(s.rows),
            QString::number(s.sliceCount()),    note,
        };
        for (int column = 0; column < 6; ++column) {
            auto* item = new QTableWidgetItem(cells[column]);
            item->setToolTip(note);
            table->setItem(row, column, item);
        }
    }
    table->resizeColumnsToContents();
    table->horizontalHeader()->setStretchLastSection(true);
    layout->addWidget(table);
    choose(0);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Open | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(table, &QTableWidget::cellDoubleClicked, this, &QDialog::accept);
    layout->addWidget(buttons);
    resize(640, 320);
}

int DicomSeriesDialog::chosen() const
{
    const QList<QTableWidgetSelectionRange> ranges = table->selectedRanges();
    return ranges.isEmpty() ? -1 : ranges.front().topRow();
}

void DicomSeriesDialog::choose(int row)
{
    table->clearSelection();
    if (row >= 0 && row < table->rowCount())
        table->selectRow(row);
}
