#pragma once

#include <QObject>
#include <QString>

#include <initializer_list>
#include <vector>

class DisplayRegion;
class Workspace;

// Reads the pixel under the cursor of the main window's views: shows it as a
// tooltip at the cursor and hands it to the workspace, for the Analysis
// window's status line. An event filter, so the views themselves stay as
// they are.
class CursorProbe : public QObject {
    Q_OBJECT
public:
    CursorProbe(Workspace* work, std::initializer_list<DisplayRegion*> views, QObject* parent);

    // The last reading's text; empty when the cursor is on no view.
    const QString& lastReading() const { return last; }

signals:
    void readingChanged(const QString& text);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void read(DisplayRegion* view, QPoint at, QPoint global);
    void announce(const QString& text);

    Workspace* work;
    std::vector<DisplayRegion*> views;
    QString last;
};
