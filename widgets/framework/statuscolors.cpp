#include "statuscolors.h"

#include <QtMath>

namespace
{

double luminance(const QColor& colour)
{
    const auto channel
        = [](double value) { return value <= 0.03928 ? value / 12.92 : qPow((value + 0.055) / 1.055, 2.4); };
    const QColor rgb = colour.toRgb();
    return 0.2126 * channel(rgb.redF()) + 0.7152 * channel(rgb.greenF()) + 0.0722 * channel(rgb.blueF());
}

} // namespace

double StatusColors::contrast(const QColor& a, const QColor& b)
{
    const double la = luminance(a), lb = luminance(b);
    return (qMax(la, lb) + 0.05) / (qMin(la, lb) + 0.05);
}

QColor StatusColors::readable(const QColor& wanted, const QColor& background, double ratio)
{
    // Away from the background's lightness, keeping the hue, until it reads.
    const bool darkBackground = luminance(background) < 0.18;
    QColor colour = wanted.toHsl();
    for (int step = 0; step < 100 && contrast(colour, background) < ratio; ++step) {
        const int lightness = qBound(0, colour.lightness() + (darkBackground ? 5 : -5), 255);
        colour.setHsl(colour.hslHue(), colour.hslSaturation(), lightness);
    }
    return colour.toRgb();
}

QColor StatusColors::success(const QPalette& palette)
{
    // Labels sit on the window's colour, table cells on the base colour.
    return readable(readable(QColor(0x1b, 0x7a, 0x2e), palette.color(QPalette::Window)), palette.color(QPalette::Base));
}

QColor StatusColors::failure(const QPalette& palette)
{
    return readable(readable(QColor(0xb3, 0x26, 0x1e), palette.color(QPalette::Window)), palette.color(QPalette::Base));
}

QString StatusColors::styleSheet(const QColor& colour)
{
    return QStringLiteral("color: %1;").arg(colour.name());
}
