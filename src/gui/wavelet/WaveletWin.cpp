#include "gui/wavelet/WaveletWin.h"

#include "gui/views/MiniDisp.h"
#include "core/wavelet/WaveletAnalysis.h"

#include <QGridLayout>
#include <QLabel>

namespace {

QLabel* addLabel(QWidget* window, QGridLayout* grid, const char* text, int row, int column,
                 bool shortRow)
{
    auto* label = new QLabel(QString::fromLatin1(text), window);
    label->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter | Qt::AlignTop);
    if (shortRow)
        label->setMaximumHeight(10);
    grid->addWidget(label, row, column);
    return label;
}

} // namespace

WaveletWin::WaveletWin(QWidget* parent, const char* name, const std::uint8_t* source, int size)
    : QWidget(parent)
{
    setObjectName(QString::fromLatin1(name));
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(10, 10, 10, 10);
    grid->setSpacing(10);

    grid->addWidget(new MiniDisp(this, "Original Image", source, size), 0, 0, 2, 2);

    const lumidra::WaveletAnalysis analysis = lumidra::analyseWavelet(source, size);
    const int half = analysis.half;
    for (int f = 0; f < lumidra::kWaveletLevels; ++f) {
        grid->addWidget(new MiniDisp(this, "LL Part", analysis.ll[f].data(), half), 2, f);
        grid->addWidget(new MiniDisp(this, "LH Part", analysis.lh[f].data(), half), 4, f);
        grid->addWidget(new MiniDisp(this, "HL Part", analysis.hl[f].data(), half), 6, f);
        grid->addWidget(new MiniDisp(this, "HH Part", analysis.hh[f].data(), half), 8, f);
    }

    addLabel(this, grid, "LL Row", 3, 0, true);
    addLabel(this, grid, "LH Row", 5, 0, true);
    addLabel(this, grid, "HL Row", 7, 0, true);
    addLabel(this, grid, "HH Row", 9, 0, true);

    struct Total {
        const char* view;
        const std::vector<std::uint8_t>& image;
        const char* label;
        bool shortRow;
    };
    const Total totals[] = {
        {"LH Part", analysis.lhTotal, "LH Total", true},
        {"HL Part", analysis.hlTotal, "HL Total", false},
        {"HH Part", analysis.hhTotal, "HH Total", false},
        {"All Parts", analysis.allTotal, "Sum Total", false},
    };
    int column = 2;
    for (const Total& t : totals) {
        grid->addWidget(new MiniDisp(this, t.view, t.image.data(), half), 0, column);
        addLabel(this, grid, t.label, 1, column, t.shortRow);
        ++column;
    }
}
