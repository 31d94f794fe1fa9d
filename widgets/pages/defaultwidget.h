#pragma once

#include "basewidget.h"
#include "kestrixframework_export.h"

#include <QPointer>

class Connectable;
class FirmwareUpdate;
class QButtonGroup;
class QFileSystemWatcher;
class QGroupBox;
class QLabel;
class QPushButton;
class QVBoxLayout;

// The board overview: the newest motherboard firmware in the hex folder, the
// connected motherboards with their firmware numbers and an Upgrade button
// for each. The page never edits its list; on board changes it asks for a
// fresh overview page.
//
// startBootloader() updates one motherboard through a FirmwareUpdate, whose
// state the page mirrors in its members, then asks for a fresh page. While
// that procedure runs the page refuses a second start and stays alive through
// any page change; a page replaced meanwhile releases itself after its last
// step.
class KESTRIXFRAMEWORK_EXPORT DefaultWidget : public BaseWidget
{
    Q_OBJECT

public:
    explicit DefaultWidget(QWidget* parent = nullptr);
    ~DefaultWidget() override;

    QString helpKey() override;
    QString title() override;

    // False while the update procedure runs, so the main window keeps the page.
    bool deleteWhenReplaced() override;
    void leavePage() override;

    // Newest firmware number found in the hex folder; 0 before the first scan
    // or when no file name yields a number.
    static quint32 currentFirmwareID();

    // True while an update procedure runs (reset by every new overview page).
    static bool isUpdating();

    // True from the start of an update procedure to its last step, whichever
    // page runs it; a second start is refused meanwhile.
    static bool updateInProgress();

    // The bootloader wait of an update (20000 ms). Tests only; 0 or less
    // restores the default.
    static void setBootloaderTimeoutForTesting(int milliseconds);
    static int bootloaderTimeout();

    // Tests only: forget the newest firmware number, as at program start.
    static void resetCurrentFirmwareIDForTesting();

public slots:
    void boardUpdate() override;
    void startBootloader(int boardID);
    void bootloaderConnected(bool connected);

private slots:
    void updateCurrentFirmwareID();
    void finished(int status);
    void bootloaderConnectTimeout();
    void avrdisconnected();

private:
    void buildBoardList();
    void updateFirmwareLabel();
    void watchHexFolder();
    void endProcedure();

    QFileSystemWatcher* watcher;
    QGroupBox* groupBox;
    QLabel* firmwareLabel;
    QPushButton* upgradeButton;
    QVBoxLayout* mainLayout;
    QButtonGroup* buttonGroup;
    bool bootloaderIsConnected;
    bool processFinished;
    int processExitCode;
    bool bootloaderTimedOut;
    QPointer<Connectable> bootloaderDevice;

    FirmwareUpdate* update;
    bool procedureRunning;
    bool leftPageArea;
};
