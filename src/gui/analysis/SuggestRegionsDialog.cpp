#include "gui/analysis/SuggestRegionsDialog.h"

#include "core/regions/RegionTable.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

SuggestRegionsDialog::SuggestRegionsDialog(const lumidra::GreyCounts& stackCounts, QWidget* parent)
    : QDialog(parent), counts(stackCounts)
{
    setObjectName("suggestRegions");
    setWindowTitle(tr("Suggest Regions"));
    auto* layout = new QVBoxLayout(this);

    auto* about = new QLabel(
        tr("Splits the grey values 1 to 255 of the whole stack into classes that differ "
           "as much as possible (multi-level Otsu); grey 0, the background, is left out.\n"
           "Accepting writes the classes, dark to bright, into regions 0 onwards as "
           "\"Class1\", \"Class2\", ...; the other regions stay as they are."),
        this);
    about->setWordWrap(true);
    layout->addWidget(about);

    auto* form = new QFormLayout();
    classSpin = new QSpinBox(this);
    classSpin->setObjectName("classCount");
    classSpin->setRange(kFewest, kMost);
    classSpin->setValue(3);
    form->addRow(tr("Classes:"), classSpin);
    layout->addLayout(form);

    listing = new QLabel(this);
    listing->setObjectName("classListing");
    listing->setTextFormat(Qt::RichText);
    listing->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    // Room for the most classes, so the dialog keeps its size as k changes.
    listing->setMinimumHeight(kMost * (fontMetrics().height() + 8));
    layout->addWidget(listing);

    buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(tr("Apply to Regions"));
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(classSpin, &QSpinBox::valueChanged, this, &SuggestRegionsDialog::compute);
    compute(classSpin->value());
}

int SuggestRegionsDialog::classCount() const
{
    return classSpin->value();
}

void SuggestRegionsDialog::setClassCount(int k)
{
    classSpin->setValue(k);
}

void SuggestRegionsDialog::compute(int k)
{
    split = lumidra::multiOtsu(counts, k);
    buttons->button(QDialogButtonBox::Ok)->setEnabled(!split.empty());
    if (split.empty()) {
        listing->setText(tr("The stack has no voxel brighter than grey 0: nothing to split."));
        emit previewChanged(split);
        return;
    }
    const std::vector<double> shares = lumidra::classFractions(counts, split);
    QString rows;
    for (std::size_t c = 0; c < split.size(); ++c) {
        const lumidra::RegionColour colour = lumidra::classColour(static_cast<int>(c));
        rows += tr("<tr><td bgcolor='%1'>&nbsp;&nbsp;&nbsp;&nbsp;</td><td>%2</td>"
                   "<td align='right'>%3&ndash;%4</td><td align='right'>%5 %</td></tr>")
                    .arg(QColor(colour.red, colour.green, colour.blue).name())
                    .arg(QString::fromStdString(lumidra::className(static_cast<int>(c))))
                    .arg(split[c].min)
                    .arg(split[c].max)
                    .arg(QLocale().toString(100.0 * shares[c], 'f', 1));
    }
    listing->setText(QStringLiteral("<table cellspacing='4'>%1</table>").arg(rows));
    emit previewChanged(split);
}
