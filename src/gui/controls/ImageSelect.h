#pragma once

#include <QString>
#include <QWidget>

// The slice number stepper: caption, "-", number display and "+"; its range
// follows the number of slices.
class ImageSelect : public QWidget {
    Q_OBJECT
public:
    ImageSelect(QWidget* parent, const char* name, int min, int max, int value, const char* label);

    int currentValue() const { return value; }
    int minimum() const { return min; }
    int maximum() const { return max; }

    // Stores v without a range check and announces it.
    void forceValue(int v);

public slots:
    void changeMin(int m);
    void changeMax(int m);
    void changeLabel(const char* text);
    void addStep();
    void subtractStep();
    void setValue(int v);

signals:
    void valueChanged(int);
    void updateText(const QString&);

private:
    void announceCaption();

    int value;
    int min;
    int max;
    char labelText[300];
};
