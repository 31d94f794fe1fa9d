#pragma once

#include <QString>
#include <QStringList>

// The options of the command-line job
//   -program <file.hex> -board <id> [-slot 0..3]
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
    int boardID() const { return m_boardID; }
    int slot() const { return m_slot; }
    QString errorString() const { return m_error; }

private:
    bool fail(const QString& message);

    QString m_fileName;
    int m_boardID = -1;
    int m_slot = 0;
    QString m_error;
};
