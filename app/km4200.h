#pragma once

#include <QMainWindow>

// The main window.
class KM4200 : public QMainWindow
{
    Q_OBJECT

public:
    enum WindowMode {
        ModeNormal = 0,
        ModeDefaultSettings = 1
    };
    Q_ENUM(WindowMode)

    explicit KM4200(int mode, QWidget* parent = nullptr, Qt::WindowFlags flags = Qt::WindowFlags());
    ~KM4200() override;

    int windowMode() const { return mode; }

private:
    int mode;
};
