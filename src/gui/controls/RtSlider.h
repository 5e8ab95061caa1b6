#pragma once

#include <QWidget>

class QSlider;

// A labelled stepping slider: caption, "-", slider, "+" and a number display.
// valueChanged(int) states the current value on every slot call.
class RtSlider : public QWidget {
    Q_OBJECT
public:
    RtSlider(QWidget* parent, const char* name, int min, int max, int value, const char* label);

    int currentValue() const { return value; }
    // The slider the user drags ("minSL"): whether it is held down, and its
    // press and release, tell one drag from the next.
    QSlider* innerSlider() const { return slider; }

public slots:
    void addStep();
    void subtractStep();
    void setValue(int v);

signals:
    void valueChanged(int);

private:
    QSlider* slider = nullptr;
    int value;
    int min;
    int max;
    char labelText[300];
};
