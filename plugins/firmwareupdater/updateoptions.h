#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// The options of the command-line job
//   -updatefirmware [-board all|N[,N...]] [-json]
// Option names match in any letter case; the shell's own start-up options
// may appear as well and are passed over.
class UpdateOptions
{
public:
    enum Selection { OutdatedBoards, AllBoards, NamedBoards };

    // True when the argument list asks for the job.
    static bool requested(const QStringList& arguments);

    // Reads a full argument list (program path first). False, with
    // errorString() saying why, on anything the job cannot run with.
    bool parse(const QStringList& arguments);

    Selection selection() const { return m_selection; }
    // The boards named by -board N[,N...], in the given order, once each.
    QList<int> boards() const { return m_boards; }
    bool json() const { return m_json; }
    QString errorString() const { return m_error; }

private:
    bool fail(const QString& message);

    Selection m_selection = OutdatedBoards;
    QList<int> m_boards;
    bool m_json = false;
    QString m_error;
};
