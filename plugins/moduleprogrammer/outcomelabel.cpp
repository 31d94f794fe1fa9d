#include "outcomelabel.h"

#include "statuscolors.h"

OutcomeLabel::OutcomeLabel(QWidget* parent)
    : QLabel(parent)
{
    setObjectName(QStringLiteral("statusLabel"));
    setAccessibleName(tr("Outcome"));
    setWordWrap(true);
    setTextInteractionFlags(Qt::TextSelectableByMouse);
}

void OutcomeLabel::show(const QString& text, Kind kind)
{
    // Chosen against the palette: readable on light and dark desktops alike.
    setStyleSheet(kind == Success ? StatusColors::styleSheet(StatusColors::success(palette()))
            : kind == Error       ? StatusColors::styleSheet(StatusColors::failure(palette()))
                                  : QString());
    setText(text);
    setAccessibleDescription(text);
}
