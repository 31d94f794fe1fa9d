#pragma once

#include "ktmodule.h"

#include <QObject>
#include <QString>

class ProgramOptions;
class QTextStream;

// The command-line job: programs a HEX file into a module without a window,
// in the steps of the page's sequence (compare, program only when different,
// verify, reset the board). Each step starts one operation of the library's
// module and waits for its report in a local event loop. One line per step
// goes to the given stream.
class ProgrammingJob : public QObject
{
    Q_OBJECT

public:
    enum ExitStatus { ExitSuccess = 0, ExitProgrammingFailed = 1, ExitBadInput = 2 };

    explicit ProgrammingJob(QTextStream* out, QObject* parent = nullptr);

    // Runs the whole job; the result is the process exit status.
    int run(const ProgramOptions& options);

    static QString slotName(int slot);

private:
    int runOnLibrary(const ProgramOptions& options);
    // Starts one operation and waits for its report. False when the module
    // did not start it; *status then stays untouched.
    bool runStep(KTModule* module, KTModule::Operation what, quint32* status);
    // Begins a step line; finish() completes it.
    void begin(const QString& text);
    void finish(const QString& text);
    void line(const QString& text);

    QTextStream* m_out;
};
