#pragma once

#include "batchprogrammer.h"
#include "programmingengine.h"

#include <QJsonObject>
#include <QMap>
#include <QObject>
#include <QString>

class ProgramOptions;
class QTextStream;

// The command-line job: programs one HEX file into the same module slot of
// one or more motherboards at once, without a window, one programming
// engine per board. Everything that makes the job impossible (bad
// arguments, an unreadable file, an unknown board) is found before any
// board is touched. Writes lines of text, or with -json one JSON object per
// line, to the given stream.
class ProgrammingJob : public QObject
{
    Q_OBJECT

public:
    enum ExitStatus { ExitSuccess = 0, ExitProgrammingFailed = 1, ExitBadInput = 2 };

    explicit ProgrammingJob(QTextStream* out, bool json = false, QObject* parent = nullptr);

    // Runs the whole job; the result is the process exit status.
    int run(const ProgramOptions& options);

    // Reports bad input in the job's format.
    void error(const QString& message);

private:
    int runOnLibrary(const ProgramOptions& options);
    // The connected motherboards the options name; empty after an error.
    QList<int> chooseBoards(const ProgramOptions& options);
    void stepEnded(int boardID, ProgrammingEngine::Step step, quint32 status);
    void progress(int boardID, ProgrammingEngine::Step step, int percent);
    void boardFinished(int boardID, int slot, const ProgrammingEngine::Result& result);
    void printSummary(const BatchProgrammer::Summary& summary);
    void line(const QString& text);
    void json(const QJsonObject& object);

    QTextStream* m_out;
    bool m_json;
    QString m_fileName;
    QMap<int, int> m_lastProgress; // step and percent per board: repeated values print once
};
