#pragma once

#include "core/volume/VolumeIntensity.h"
#include "core/volume/WindowPolicy.h"

#include <QDialog>

#include <optional>

class QDoubleSpinBox;
class QLabel;
class QRadioButton;

// Volume → Intensity Window…: how a volume's values become the views'
// 12-bit samples. Shows the window the current volume got and the policy
// volumes are opened with, and returns the policy the user picks.
class IntensityWindowDialog : public QDialog {
    Q_OBJECT
public:
    // inUse: the current volume's window; none for a slice directory.
    IntensityWindowDialog(const lumidra::WindowPolicy& policy,
                          std::optional<lumidra::IntensityWindow> inUse, QWidget* parent);

    lumidra::WindowPolicy policy() const;
    void setPolicy(const lumidra::WindowPolicy& policy);

private:
    void updateFixedRange();

    QRadioButton* automatic = nullptr;
    QRadioButton* robust = nullptr;
    QRadioButton* ct = nullptr;
    QRadioButton* fixed = nullptr;
    QRadioButton* minmax = nullptr;
    QDoubleSpinBox* low = nullptr;
    QDoubleSpinBox* high = nullptr;
};
