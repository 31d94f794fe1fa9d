#pragma once

#include "km4200ctrl_export.h"

#include <QFlags>
#include <QObject>

class HexModel;
class Infopage;
class MotherBoard;
class QSettings;
class QTimer;

// A radio module in one slot of a motherboard. Operations are asynchronous:
// they return at once, report progress through progressUpdate(int) in steps
// from 0 to 100 and end in exactly one operationDone(what, status). They run
// on timers of the GUI thread and last the bench's operationMs.
//
// - startVerifying() compares the module's memory of the chosen memory type
//   with the expected image: the HEX model, or, in the motherboard's default
//   mode with an empty model, the default-settings block. Status 0 when
//   equal, StatusMismatch when not (a bench verifyStatus other than
//   "compare" fixes the status instead). False, and no signal, on a slot the
//   bench does not list, on a board that left the bus, or while busy.
// - startProgramming() writes the expected image into the module's memory,
//   replacing what was there. The status is the bench's programStatus
//   (memory left as it was when it is not 0). OTP (memory type 1) takes one
//   content only: writing other content over it ends in StatusOTPWritten.
//   Callers may ignore its result: on an idle module it always ends in one
//   operationDone. When it cannot start (startFlag not set, board off the
//   bus, slot not listed) it returns false and reports the reason from the
//   event loop (StatusNotReady, StatusDeviceLost, StatusNoModule); the
//   module counts as busy until then. While busy it returns false and the
//   running operation reports.
// - abort() ends a pending operation at once: it emits
//   operationDone(what, StatusAborted) before it returns and nothing is
//   written, then or later. On an idle module it does nothing, so calling
//   it after the report is harmless.
// - A board that leaves the bus (unplugged, bootloader jump, controller
//   destroyed) ends a pending operation with StatusDeviceLost; a reset of
//   the board (MotherBoard::resetDevice) with StatusBoardReset.
// - startFlag is cleared when an operation ends.
// - Receivers may run event loops, abort, start anew or see the board go
//   while a signal is delivered; the module checks its state after each one.
// - The simulated module keeps one image per memory type; the memory parts
//   are recorded (memoryParts()) but every operation covers the whole image.
class KM4200CTRL_EXPORT KTModule : public QObject
{
    Q_OBJECT

public:
    enum MemoryType { MemoryNormal = 0, MemoryOTP = 1 };
    Q_ENUM(MemoryType)

    enum ProgrammableMemoryPart {
        MemoryPartNone = 0,
        MemoryPartCode = 1,
        MemoryPartProgram = 2,
        MemoryPartInfopage = 4,
        MemoryPartVerify = MemoryPartCode | MemoryPartInfopage
    };
    Q_DECLARE_FLAGS(ProgrammableMemoryParts, ProgrammableMemoryPart)
    Q_FLAG(ProgrammableMemoryParts)

    // What operationDone reports.
    enum Operation : quint32 { OperationProgramming = 0, OperationVerifying = 1 };

    // Statuses of operationDone besides 0 (a bench programStatus or
    // verifyStatus may report any other number).
    enum Status : quint32 {
        StatusSuccess = 0,
        StatusMismatch = 1,
        StatusAborted = 2,
        StatusDeviceLost = 3,
        StatusOTPWritten = 4,
        StatusWriteFailed = 5,
        StatusNoModule = 6, // the bench lists no module in this slot
        StatusNotReady = 7, // startFlag was not set
        StatusBoardReset = 8 // MotherBoard::resetDevice() ended the operation
    };

    explicit KTModule(QObject* parent = nullptr);
    KTModule(MotherBoard* board, int slot);
    ~KTModule() override;

    HexModel* getModel();
    virtual Infopage* infopage();

    void setMemoryParts(QFlags<ProgrammableMemoryPart> parts);
    void setTargetMemoryType(MemoryType type);

    // Must be set before startProgramming(); cleared when an operation ends.
    bool startFlag = false;

    bool startProgramming();
    bool startVerifying();
    void abort();

    static void loadSettings(QSettings* settings);
    static void saveSettings(QSettings* settings);

    // Extras of this library.
    int slot() const { return m_slot; }
    MotherBoard* board() const { return m_board; }
    bool isBusy() const { return m_running >= 0; }
    MemoryType targetMemoryType() const { return m_memoryType; }
    QFlags<ProgrammableMemoryPart> memoryParts() const { return m_parts; }
    // What the module's memory of that type holds now.
    HexModel memory(MemoryType type) const;
    // The module's default-settings block: 128 bytes at DefaultBlockAddress
    // naming the slot, the board and the module, with a CRC at the end.
    HexModel defaultSettingsImage() const;
    static constexpr quint32 DefaultBlockAddress = 0x1F800;
    // Ends a running operation with the given status (no-op when idle).
    void abortWith(quint32 status);

    // Library settings kept by loadSettings/saveSettings (group "km4200ctrl").
    static int defaultISPDeviceType();
    static void setDefaultISPDeviceType(int type);
    static int progressSteps();

signals:
    void operationDone(quint32 what, quint32 status);
    void progressUpdate(int progress);

private:
    bool start(Operation what);
    quint32 startProblem() const;
    void tick();
    void finish(quint32 status, const QString& problem = QString());
    quint32 program(QString* problem);
    quint32 verify();
    HexModel expectedImage() const;

    MotherBoard* m_board = nullptr;
    int m_slot = -1;
    HexModel* m_model = nullptr;
    Infopage* m_infopage = nullptr;
    QTimer* m_timer = nullptr;
    int m_running = -1;
    int m_step = 0;
    quint32 m_notStarted = StatusSuccess; // reported instead of running
    quint64 m_serial = 0;
    MemoryType m_memoryType = MemoryNormal;
    QFlags<ProgrammableMemoryPart> m_parts = MemoryPartProgram;
};

Q_DECLARE_OPERATORS_FOR_FLAGS(KTModule::ProgrammableMemoryParts)
