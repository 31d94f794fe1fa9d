#pragma once

#include "connectable.h"
#include "kestrixengine_export.h"
#include "kestrixstudio.h"

#include <QObject>
#include <QPointer>
#include <QProcess>
#include <QStringList>

#include <functional>

class MotherBoard;
class QTimer;

// Brings one motherboard to a firmware file: bootloader jump, a wait for the
// bootloader (20 s at most), one run of dfu-programmer, then renew() of the
// bootloader device and all board kinds and notifications back on. Every step
// and the outcome go out as log messages; run() answers with the result.
//
// run() waits on the event loop, so the caller's window stays responsive.
// One update at a time per process: the bootloader kinds are process-wide.
class KESTRIXENGINE_EXPORT FirmwareUpdate : public QObject
{
    Q_OBJECT

public:
    enum Result {
        Updated, // the tool ended with exit code 0
        BootloaderTimedOut,
        ToolNotStarted, // missing or not executable; toolPath() says where
        ToolFailed, // non-zero exit code; exitCode() and lastOutput() say more
        BoardLost, // no board with that ID when the update was to start
        NotMotherBoard, // the board is not in normal operation; nothing done
        Cancelled, // cancel() ended a wait; the tool, if running, was ended
        Busy, // another update runs in this process, or another job has the board; nothing done
        BadFirmwareFile, // the firmware file cannot be read; nothing done
        OtherBootloader, // another board waits in its bootloader; the tool was not run
        LostDuringJump, // unplugged before its bootloader reported
        LostDuringUpdate // left the bus while the tool ran; its firmware is unknown
    };
    Q_ENUM(Result)

    static constexpr int DefaultBootloaderTimeout = 20000;

    explicit FirmwareUpdate(QObject* parent = nullptr);
    ~FirmwareUpdate() override;

    void setBootloaderTimeout(int milliseconds) { bootloaderWait = milliseconds; }
    // Where the procedure keeps its state: by default the engine's own. The
    // overview page hands in its members instead; then its own slots set
    // them (its bootloaderConnected, connected to the connection manager by
    // the page, and bootloaderConnectTimeout and finished, connected to
    // bootloaderTimeout and toolFinished below) and the procedure reads them.
    struct Flags {
        bool* bootloaderIsConnected = nullptr;
        bool* bootloaderTimedOut = nullptr;
        bool* processFinished = nullptr;
        int* processExitCode = nullptr;
    };
    void useFlags(const Flags& flags) { callerFlags = flags; }
    // Asked for the firmware number when the tool is about to start (the hex
    // folder may have changed during the bootloader wait); by default the
    // number run() was given.
    void setFirmwareSource(std::function<quint32()> source) { firmwareSource = std::move(source); }
    // Lets run() take a board that already waits in its bootloader (a jump
    // that an earlier update left unfinished): no jump, straight to the tool.
    void setFinishWaitingBootloader(bool on) { finishWaiting = on; }

    // Runs the whole procedure for the board (only the low 8 bits are used in
    // texts) with hex/KestrixFirmware_<firmware>.hex. Before the board leaves
    // its firmware, the file is read and the bus is checked: dfu-programmer
    // flashes whichever bootloader it finds first, so the tool only runs
    // while this board's bootloader is the only one on the bus.
    Result run(int boardID, quint32 firmware);
    // Ends a running update at once: a wait stops, a running tool is killed.
    void cancel();

    int boardID() const { return board; }
    // The last run() got past its checks: the board may have left its firmware.
    bool touchedBoard() const { return touched; }
    int exitCode() const { return flags.processExitCode ? *flags.processExitCode : toolExitCode; }
    // The device in its bootloader that the tool works on, while it is there.
    Connectable* device() const { return bootloaderDevice; }
    QStringList lastOutput() const { return outputTail; }

    // The update that runs in this process, or null.
    static FirmwareUpdate* active();

    // The newest firmware number in the hex folder: the largest number left of
    // a *.hex name once "KestrixFirmware_" and ".hex" are cut out, 0 if none.
    static quint32 newestFirmware();
    // "<application directory>/hex/"
    static QString hexFolder();
    // KESTRIX_DFU_PROGRAMMER's tool, else dfu-programmer beside the executable,
    // else the one on PATH; when there is none, the one beside the executable.
    static QString toolPath();
    static QString firmwarePath(quint32 firmware);
    // Reads the firmware file as the tool will; false with the file, line
    // and fault in problem when it cannot be flashed.
    static bool checkFirmwareFile(quint32 firmware, QString* problem);
    // IDs of the devices on the bus that wait in their bootloader.
    static QList<int> waitingBootloaders();
    // Those, and boards other than boardID that were sent to their bootloader
    // and have not reported yet: any of them may be the one the tool finds.
    static QList<int> otherBootloaders(int boardID);
    // "another board waits in its bootloader: board 1; update it first or toggle its power"
    static QString otherBootloaderText(const QList<int>& boards);

signals:
    void logmessage(KestrixStudio::LogLevel level, QString message);
    // The board was found and the update begins (before its first message).
    void started();
    // The bootloader wait ran out (whether or not the bootloader reported).
    void bootloaderTimeout();
    // The device the tool works on, found after the wait, or null.
    void bootloaderDeviceFound(Connectable* device);
    void bootloaderDeviceLost();
    void toolFinished(int exitCode);
    // The procedure's last word to its caller: on a bootloader timeout before
    // all board kinds are creatable again, otherwise after everything.
    void ending();

private:
    void onBootloaderConnected(bool connected);
    void onBootloaderTimeout();
    void onToolFinished(int exitCode, QProcess::ExitStatus status);
    void onToolOutput();

    // False when this object was deleted meanwhile.
    bool waitUntil(const std::function<bool()>& done);
    Result end(Result result);
    Result jump(MotherBoard* motherBoard);
    Result flash(quint32 firmware);
    Result toolNotStarted();
    // Back to all board kinds and notifications on: end() does it for every
    // exit; the steps call it earlier where it comes before their last words.
    static void restoreBus();
    void log(KestrixStudio::LogLevel level, const QString& text);

    int bootloaderWait = DefaultBootloaderTimeout;
    bool finishWaiting = false;
    int board = -1;
    bool deviceLeft = false;
    bool touched = false;
    bool running = false;
    bool cancelled = false;
    bool endingSent = false;
    // The engine's own flags, used unless the caller hands in its own.
    bool bootloaderIsConnected = false;
    bool timedOut = false;
    bool toolEnded = false;
    int toolExitCode = 0;
    Flags callerFlags;
    Flags flags; // the ones this run reads
    std::function<quint32()> firmwareSource;
    bool toolCrashed = false;
    QStringList outputTail;
    QByteArray partialLine;
    QTimer* timer;
    QProcess* process = nullptr;
    QPointer<Connectable> bootloaderDevice;
    QMetaObject::Connection deviceConnection;
};
