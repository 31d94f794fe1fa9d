#pragma once

#include "basewidget.h"
#include "kestrixframework_export.h"
#include "programmingengine.h"

#include <QPointer>

#include <memory>

class KTModule;
class MotherBoard;

namespace Ui
{
class FlashDefaultSettings;
}

// Programs a radio module with the default settings the library supplies in
// its default mode (or the extension board's OTP info page): program, verify,
// reset the board, through a ProgrammingEngine. The only page of the
// default-settings mode.
class KESTRIXFRAMEWORK_EXPORT FlashDefaultSettings : public BaseWidget
{
    Q_OBJECT

public:
    explicit FlashDefaultSettings(QWidget* parent = nullptr);
    ~FlashDefaultSettings() override;

public slots:
    void flashCheck(quint32 what, quint32 status);

protected slots:
    void progressDialogCancel() override;

private slots:
    void startProgramming();
    void boardUpdate() override;
    void chipTypeUpdate();
    void targetChanged();

private:
    // The engine's outcome, in the page's boxes and log lines.
    void runFinished(const ProgrammingEngine::Result& result);
    void logFailure(quint32 what);
    void showStatus(const QString& text);
    int selectedBoardID() const;

    Ui::FlashDefaultSettings* ui;
    bool programmingSucceeded;
    bool verifyingSucceeded;
    int target;
    QPointer<KTModule> module;

    // The board being programmed: the reset after verifying goes here even
    // when a board notification has refilled the list meanwhile.
    QPointer<MotherBoard> programmedBoard;
    int programmedBoardID = 0;
    QString programmedConnector;
    quint32 lastStatus = 0;
    bool programmedOtp = false;
    std::unique_ptr<ProgrammingEngine> engine;
};
