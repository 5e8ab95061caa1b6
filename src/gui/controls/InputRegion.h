#pragma once

#include "core/regions/ImgMaterial.h"

#include <QString>
#include <QWidget>

class QLineEdit;
class RtSlider;

// Edits one region record: a name edit and five 0-255 stepping sliders. It
// never writes a record; each value leaves as a signal of its own.
class InputRegion : public QWidget {
    Q_OBJECT
public:
    InputRegion(QWidget* parent, const char* name);

    QLineEdit* nameEdit = nullptr;
    RtSlider* minSlider = nullptr;
    RtSlider* maxSlider = nullptr;
    RtSlider* redSlider = nullptr;
    RtSlider* greenSlider = nullptr;
    RtSlider* blueSlider = nullptr;

public slots:
    void setValues(imgMaterial* record);

signals:
    void outMessage();
    void textChanged(const QString&);
    void valsChanged(imgMaterial*);
    void minSignal(int);
    void maxSignal(int);
    void redSignal(int);
    void greenSignal(int);
    void blueSignal(int);
};
