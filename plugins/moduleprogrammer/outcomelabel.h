#pragma once

#include <QLabel>

// The line below a programmer page's controls that says how the last run
// went: coloured against the palette, selectable, and read by screen readers
// as the label's description.
class OutcomeLabel : public QLabel
{
    Q_OBJECT

public:
    enum Kind { Info, Busy, Success, Error };

    explicit OutcomeLabel(QWidget* parent = nullptr);

    void show(const QString& text, Kind kind);
};
