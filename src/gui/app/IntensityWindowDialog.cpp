#include "gui/app/IntensityWindowDialog.h"

#include <QButtonGroup>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace {

QDoubleSpinBox* valueBox(QWidget* parent, const char* name)
{
    auto* box = new QDoubleSpinBox(parent);
    box->setObjectName(name);
    box->setDecimals(3);
    box->setRange(-1e9, 1e9);
    box->setMinimumWidth(110);
    return box;
}

} // namespace

IntensityWindowDialog::IntensityWindowDialog(const lumidra::WindowPolicy& policy,
                                             std::optional<lumidra::IntensityWindow> inUse,
                                             QWidget* parent)
    : QDialog(parent)
{
    setObjectName("intensityWindowDialog");
    setWindowTitle(tr("Intensity Window"));
    auto* layout = new QVBoxLayout(this);

    auto* current = new QLabel(this);
    current->setObjectName("windowInUse");
    current->setWordWrap(true);
    current->setText(
        inUse ? tr("The volume shown was put on the 12-bit scale by: %1 (in the scan's units).")
                    .arg(QString::fromStdString(lumidra::describeWindow(*inUse)))
              : tr("The slices shown come from an image directory: their samples are read as "
                   "they are. The window chosen here applies to the next volume opened."));
    layout->addWidget(current);

    auto* grid = new QGridLayout();
    automatic = new QRadioButton(tr("&Automatic: ct for a CT scan, robust for any other"), this);
    robust =
        new QRadioButton(tr("&Robust: the 0.5th to the 99.5th percentile of the values"), this);
    ct = new QRadioButton(tr("&CT: sample = HU + 1,024, so grey g covers HU 16g - 1,024 to "
                             "16g - 1,009"),
                          this);
    fixed = new QRadioButton(tr("&Fixed, in the scan's units, from"), this);
    minmax = new QRadioButton(tr("&Min-max: the scan's lowest to highest value"), this);
    automatic->setObjectName("automatic");
    robust->setObjectName("robust");
    ct->setObjectName("ct");
    fixed->setObjectName("fixed");
    minmax->setObjectName("minmax");
    auto* group = new QButtonGroup(this);
    for (QRadioButton* b : {automatic, robust, ct, fixed, minmax})
        group->addButton(b);
    low = valueBox(this, "low");
    high = valueBox(this, "high");
    grid->addWidget(automatic, 0, 0, 1, 4);
    grid->addWidget(robust, 1, 0, 1, 4);
    grid->addWidget(ct, 2, 0, 1, 4);
    grid->addWidget(fixed, 3, 0);
    grid->addWidget(low, 3, 1);
    grid->addWidget(new QLabel(tr("to"), this), 3, 2);
    grid->addWidget(high, 3, 3);
    grid->addWidget(minmax, 4, 0, 1, 4);
    layout->addLayout(grid);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->setObjectName("buttons");
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(fixed, &QRadioButton::toggled, this, &IntensityWindowDialog::updateFixedRange);
    connect(low, &QDoubleSpinBox::valueChanged, this, &IntensityWindowDialog::updateFixedRange);
    connect(high, &QDoubleSpinBox::valueChanged, this, &IntensityWindowDialog::updateFixedRange);

    // A fixed window starts from the one in use, so the user adjusts rather than types.
    if (inUse) {
        low->setValue(inUse->low);
        high->setValue(inUse->high);
    } else {
        low->setValue(0);
        high->setValue(4095);
    }
    setPolicy(policy);
}

void IntensityWindowDialog::setPolicy(const lumidra::WindowPolicy& policy)
{
    using lumidra::WindowRule;
    switch (policy.rule) {
    case WindowRule::Auto:
        automatic->setChecked(true);
        break;
    case WindowRule::Robust:
        robust->setChecked(true);
        break;
    case WindowRule::Ct:
        ct->setChecked(true);
        break;
    case WindowRule::Fixed:
        fixed->setChecked(true);
        low->setValue(policy.low);
        high->setValue(policy.high);
        break;
    case WindowRule::MinMax:
        minmax->setChecked(true);
        break;
    }
    updateFixedRange();
}

lumidra::WindowPolicy IntensityWindowDialog::policy() const
{
    using lumidra::WindowRule;
    lumidra::WindowPolicy p;
    if (robust->isChecked())
        p.rule = WindowRule::Robust;
    else if (ct->isChecked())
        p.rule = WindowRule::Ct;
    else if (minmax->isChecked())
        p.rule = WindowRule::MinMax;
    else if (fixed->isChecked())
        p = {WindowRule::Fixed, low->value(), high->value()};
    return p;
}

// A fixed window needs its low below its high.
void IntensityWindowDialog::updateFixedRange()
{
    low->setEnabled(fixed->isChecked());
    high->setEnabled(fixed->isChecked());
    auto* buttons = findChild<QDialogButtonBox*>("buttons");
    buttons->button(QDialogButtonBox::Ok)
        ->setEnabled(!fixed->isChecked() || low->value() < high->value());
}
