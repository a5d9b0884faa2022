#include "grid/ThemeColors.h"

#include <QPalette>
#include <cmath>

namespace theme {

bool IsDark(const QPalette& pal) {
    return pal.color(QPalette::Window).lightness() < 128;
}

QColor AlertText(const QPalette& pal) {
    return IsDark(pal) ? QColor(0xff, 0x8a, 0x80) : QColor(0xc0, 0x00, 0x00);
}

QColor MarkInk(const QPalette& pal) {
    return pal.color(QPalette::ButtonText);
}

QColor ActiveMark(const QPalette& pal) {
    return IsDark(pal) ? QColor(0xff, 0x6e, 0x6e) : QColor(0xc8, 0x28, 0x28);
}

namespace {
double Linear(double c) {
    return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}
double Luminance(const QColor& c) {
    return 0.2126 * Linear(c.redF()) + 0.7152 * Linear(c.greenF()) + 0.0722 * Linear(c.blueF());
}
} // namespace

double Contrast(const QColor& a, const QColor& b) {
    const double la = Luminance(a), lb = Luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

} // namespace theme
