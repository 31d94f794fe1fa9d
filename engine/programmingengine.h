#pragma once

#include "kestrixengine_export.h"
#include "ktmodule.h"
#include "motherboard.h"

#include <QMetaType>
#include <QObject>
#include <QPointer>
#include <QString>

class HexModel;

// Puts a parsed HEX image into one module slot of one motherboard: compares
// first, programs only when the content differs, verifies after programming
// (whatever programming reported: the module's content decides) and resets
// the board on success. Progress and the outcome arrive as signals; the
// outcome is one Result value. No widgets, no dialogs, no log: callers
// decide what to show. One run per object at a time; an object may run again
// once it has finished.
class KESTRIXENGINE_EXPORT ProgrammingEngine : public QObject
{
    Q_OBJECT

public:
    enum Step { StepNone = 0, StepComparing, StepProgramming, StepVerifying, StepResetting };
    Q_ENUM(Step)

    enum Outcome {
        OutcomeNone = 0, // not run yet, or running
        OutcomeUnchanged, // the module already held the image; nothing was written
        OutcomeProgrammed, // programmed and verified
        OutcomeFailed, // a step failed; see step and reason
        OutcomeCancelled,
        OutcomeDisconnected, // the board left the bus
        OutcomeBadFile, // the file could not be read; see line and reason
        OutcomeBusy // another job has the board; nothing was touched (reason says who)
    };
    Q_ENUM(Outcome)

    struct Result {
        Outcome outcome = OutcomeNone;
        Step step = StepNone; // where it ended, or where the fault first showed
        QString reason; // for the failed, disconnected and bad-file outcomes
        int line = 0; // bad file: the line of the fault, 0 for the file as a whole
        quint32 status = 0; // the module's status for the step, when it reported one
        bool written = false; // programming began: the module's content may have changed

        bool succeeded() const { return outcome == OutcomeUnchanged || outcome == OutcomeProgrammed; }
    };

    // A module image is far smaller; anything larger is not a HEX file for it.
    static constexpr qint64 MaxFileSize = 16 * 1024 * 1024;

    // Reads an Intel HEX file into the model. Only regular files of 1 byte to
    // MaxFileSize are opened: a pipe, a device or a folder is refused before
    // reading, and so is a file without data records (programming nothing is
    // never meant). The outcome is OutcomeNone on success, else OutcomeBadFile.
    static Result readHexFile(const QString& path, HexModel* model);

    // "comparing", "programming", "verifying", "resetting"; "" for StepNone.
    static QString stepName(Step step);
    // "unchanged", "programmed", "failed", "cancelled", "disconnected", "bad file", "busy".
    static QString outcomeName(Outcome outcome);
    // "module", "extension board", "ISP", "external module".
    static QString slotName(int slot);

    explicit ProgrammingEngine(QObject* parent = nullptr);
    ~ProgrammingEngine() override;

    // Who runs the engine, as others are told when they are refused
    // ("the All boards page"). Default: "another job".
    void setOwner(const QString& owner) { m_owner = owner; }
    // How a run goes; the defaults are the HEX sequence of pages and jobs.
    struct Options {
        bool compareFirst = true; // false: program at once (default settings)
        bool verify = true; // false: the programming report ends the run (OTP cannot be read back)
        bool verifyAfterFailedProgramming = true; // false: a failed programming run ends the run
        bool reset = true; // false: the caller resets the board itself, after its own report
    };
    void setOptions(const Options& options) { m_options = options; }

    // When on, the run switches the module to program memory (normal memory
    // type, the board out of default mode) once the board is reserved.
    void setProgramMemory(bool on) { m_programMemory = on; }

    // Reserves the board (BoardReservation), then starts the comparison on
    // the module in the slot, after copying the image into the module's model
    // (unless it is that model). False when it did not start (no such
    // motherboard, no module object, another job has the board, the module
    // refused): result() says why, nothing is emitted and nothing of the
    // board or module was changed.
    bool start(int boardID, int slot, const HexModel& image);
    // The same on a board and module the caller has bound already (a page
    // binds through its own setBoard): the engine does not look them up.
    bool start(MotherBoard* board, KTModule* module, int slot, const HexModel& image);

    // When on, the engine does not listen to the module's operationDone: the
    // caller hands each report in through report() (a page's
    // programmingCheck, which the module is wired to).
    void setExternalReports(bool on) { m_externalReports = on; }
    // A report of the module (what 0 programming, 1 verifying); ignored
    // unless it ends the running step.
    void report(quint32 what, quint32 status) { moduleReported(what, status); }

    // Ends the run at once: aborts the running module operation first (so
    // whoever hears of the outcome finds the module idle), starts nothing
    // afterwards and finishes with OutcomeCancelled.
    void cancel();

    bool isRunning() const { return m_step != StepNone; }
    Step step() const { return m_step; }
    int boardID() const { return m_boardID; }
    int slot() const { return m_slot; }
    KTModule* module() const { return m_module; }
    Result result() const { return m_result; }

signals:
    // A step begins; for StepComparing before the module is asked.
    void stepStarted(ProgrammingEngine::Step step);
    // Percent of the running step, 0 to 100, as the module reports it.
    void progress(ProgrammingEngine::Step step, int percent);
    // The module's report of a step (status 0: success).
    void stepEnded(ProgrammingEngine::Step step, quint32 status);
    void finished(const ProgrammingEngine::Result& result);

private:
    void moduleReported(quint32 what, quint32 status);
    void boardLeft();
    bool startStep(Step step);
    void stepDidNotStart(Step step);
    void resetAndFinish(Outcome outcome);
    void finish(Outcome outcome, const QString& reason = QString());
    bool boardConnected() const;
    void unwire();

    void release();

    QString m_owner;
    Options m_options;
    bool m_programMemory = false;
    bool m_externalReports = false;
    bool m_cancelling = false;
    int m_boardID = -1;
    int m_slot = 0;
    Step m_step = StepNone;
    QPointer<MotherBoard> m_board;
    QPointer<KTModule> m_module;
    quint32 m_programStatus = 0;
    Result m_result;
    QList<QMetaObject::Connection> m_wiring;
};

Q_DECLARE_METATYPE(ProgrammingEngine::Result)
