#include "km4200.h"

KM4200::KM4200(int mode, QWidget* parent, Qt::WindowFlags flags)
    : QMainWindow(parent, flags)
    , mode(mode)
{
    setWindowTitle(mode == ModeDefaultSettings ? tr("Kestrix Studio - DEFAULT SETTINGS MODE")
                                               : tr("Kestrix Studio [*]"));
    resize(1024, 768);
}

KM4200::~KM4200() = default;
