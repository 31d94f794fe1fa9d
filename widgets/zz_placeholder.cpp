// Temporary definitions so the spine links; replaced by the page base class.
#include "basewidget.h"

static bool s_extraChipSupport = false;
void BaseWidget::setExtraChipSupport(bool on) { if (on) s_extraChipSupport = true; }
bool BaseWidget::extraChipSupport() { return s_extraChipSupport; }
BaseWidget::BaseWidget(QWidget* parent) : QWidget(parent) {}
BaseWidget::~BaseWidget() = default;
bool BaseWidget::hasUnsavedFiles() const { return false; }
bool BaseWidget::save() { return false; }
bool BaseWidget::saveAs() { return false; }
bool BaseWidget::deleteWhenReplaced() const { return true; }
void BaseWidget::leavePage() {}
bool BaseWidget::canSave() const { return false; }
void BaseWidget::setBoard(int) {}
void BaseWidget::setSubtype(quint8) {}
bool BaseWidget::canClose() const { return true; }
bool BaseWidget::hidesLogView() const { return false; }
void BaseWidget::prepareModule(KTModule*) {}
QString BaseWidget::helpKey() const { return QStringLiteral("general/doc/index"); }
QString BaseWidget::title() const { return {}; }
void BaseWidget::boardUpdate() {}
void BaseWidget::boardDisconnected() {}
void BaseWidget::programmingCheck(quint32, quint32) {}
void BaseWidget::progressDialogCancel() {}
void BaseWidget::progDone(bool) {}
void BaseWidget::afterProgramming() {}
