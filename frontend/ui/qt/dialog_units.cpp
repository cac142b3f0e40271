#include "ui/qt/dialog_units.h"

#include <QFontMetrics>
#include <QString>

namespace brindle::ui {
namespace {

// MulDiv's rounding, as MapDialogRect uses it.
int scaled(int units, int base, int divisor) {
    const long long product = static_cast<long long>(units) * base;
    const long long half = divisor / 2;
    return static_cast<int>(product >= 0 ? (product + half) / divisor : (product - half) / divisor);
}

}  // namespace

DialogUnits::DialogUnits(const QFont& font) {
    const QFontMetrics metrics(font);
    const int width =
        metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    baseX_ = (width / 26 + 1) / 2;
    baseY_ = metrics.height();
    if (baseX_ < 1) baseX_ = 1;
    if (baseY_ < 1) baseY_ = 1;
}

int DialogUnits::x(int units) const { return scaled(units, baseX_, 4); }
int DialogUnits::y(int units) const { return scaled(units, baseY_, 8); }

QRect DialogUnits::rect(int left, int top, int width, int height) const {
    return QRect(x(left), y(top), x(width), y(height));
}

QSize DialogUnits::size(int width, int height) const { return QSize(x(width), y(height)); }

QFont dialogFont(const Texts& texts) { return QFont(QString::fromUtf8(texts.dialogFont), 9); }

}  // namespace brindle::ui
