#pragma once

#include <QOpenGLWidget>

#include <cstdint>
#include <vector>

// A fixed-size view of its own copy of one square RGB image.
class MiniDisp : public QOpenGLWidget {
    Q_OBJECT
public:
    MiniDisp(QWidget* parent, const char* name, const std::uint8_t* source, int size);

    const std::vector<std::uint8_t>& imageData() const { return image; }
    int imageSize() const { return side; }

protected:
    void paintGL() override;

private:
    std::vector<std::uint8_t> image;
    int side; // not "size": that would hide QWidget::size()
};
