#pragma once

#include "kestrixframework_export.h"

#include <QColor>
#include <QPalette>

// Colours that say success or failure, chosen against a palette so they stay
// readable (a WCAG contrast of at least 4.5:1) on light and dark desktops.
class KESTRIXFRAMEWORK_EXPORT StatusColors
{
public:
    static QColor success(const QPalette& palette);
    static QColor failure(const QPalette& palette);
    // "color: #rrggbb;" for a label's style sheet.
    static QString styleSheet(const QColor& colour);

    // The WCAG contrast ratio of two colours, 1 to 21.
    static double contrast(const QColor& a, const QColor& b);
    // The colour, made lighter or darker until it reads against the background.
    static QColor readable(const QColor& wanted, const QColor& background, double ratio = 4.5);
};
