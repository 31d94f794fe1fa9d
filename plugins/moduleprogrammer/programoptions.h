#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// The options of the command-line job
//   -program <file.hex> -board <id>|<id>,<id>...|all [-slot 0..3] [-json]
//   -program <file.hex> -board new [-count N] [-slot 0..3] [-json]
// Option names match in any letter case. The shell's own start-up options
// may appear as well and are passed over.
class ProgramOptions
{
public:
    // True when the argument list asks for the job ("-program" anywhere
    // after the program path).
    static bool requested(const QStringList& arguments);

    // Reads the options from a full argument list (program path first).
    // False, with errorString() saying why, on anything a job cannot run with.
    bool parse(const QStringList& arguments);

    QString fileName() const { return m_fileName; }
    // The boards named, in the order given (empty with allBoards()).
    QList<int> boardIDs() const { return m_boardIDs; }
    // "-board all": every connected motherboard.
    bool allBoards() const { return m_allBoards; }
    // "-board new": each motherboard plugged in from now on, -count of them
    // (0: until Ctrl+C or SIGTERM).
    bool newBoards() const { return m_newBoards; }
    int count() const { return m_count; }
    int slot() const { return m_slot; }
    // One JSON object per line on standard output.
    bool json() const { return m_json; }
    QString errorString() const { return m_error; }

private:
    bool fail(const QString& message);

    QString m_fileName;
    QList<int> m_boardIDs;
    bool m_allBoards = false;
    bool m_newBoards = false;
    int m_count = 0;
    int m_slot = 0;
    bool m_json = false;
    QString m_error;
};
