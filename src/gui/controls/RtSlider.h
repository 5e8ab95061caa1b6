#pragma once

#include <QWidget>

// A labelled stepping slider: caption, "-", slider, "+" and a number display.
// valueChanged(int) states the current value on every slot call.
class RtSlider : public QWidget {
    Q_OBJECT
public:
    RtSlider(QWidget* parent, const char* name, int min, int max, int value, const char* label);

    int currentValue() const { return value; }

public slots:
    void addStep();
    void subtractStep();
    void setValue(int v);

signals:
    void valueChanged(int);

private:
    int value;
    int min;
    int max;
    char labelText[300];
};
