#pragma once
// The Windows dialog templates' units turned into pixels, so that the Qt windows stand where
// the resource script puts their controls. The base units come from the dialog font as Windows
// takes them: x is the average width of "A".."Z" "a".."z" (rounded), y the font's height; one
// dialog unit is a quarter of x across and an eighth of y down.

#include <QFont>
#include <QRect>
#include <QSize>

#include "texts/texts.h"

namespace brindle::ui {

class DialogUnits {
public:
    explicit DialogUnits(const QFont& dialogFont);

    int baseX() const { return baseX_; }
    int baseY() const { return baseY_; }

    int x(int units) const;
    int y(int units) const;
    QRect rect(int x, int y, int width, int height) const;
    QSize size(int width, int height) const;

private:
    int baseX_;
    int baseY_;
};

// The font of Brindle's dialog templates: "宋体" at 9 points.
QFont dialogFont(const Texts& texts);

}  // namespace brindle::ui
