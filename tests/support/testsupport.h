#pragma once

// Shared helpers for the Qt Test suites.

#include <QAbstractButton>
#include <QApplication>
#include <QDialogButtonBox>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QProcess>
#include <QProgressDialog>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>

#include <csignal>
#include <functional>

namespace TestSupport
{

// Call first in initTestCase(): settings and data folders go to the test
// locations under the suite's temporary HOME.
inline void enterTestMode()
{
    QStandardPaths::setTestModeEnabled(true);
}

// Whole-file writes and reads; false or empty when the file cannot be used.
inline bool writeFile(const QString& path, const QByteArray& content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(content) == content.size();
}

inline QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A shell script standing in for a tool.
inline bool writeScript(const QString& path, const QByteArray& body)
{
    return writeFile(path, "#!/bin/sh\n" + body + "\n")
        && QFile::setPermissions(path, QFile::ReadOwner | QFile::ExeOwner);
}

// The process whose ID a script wrote into pidFile ("echo $$ > pid") has ended.
inline bool processEnded(const QString& pidFile)
{
    const QByteArray pid = readFile(pidFile).trimmed();
    return !pid.isEmpty() && ::kill(pid_t(pid.toInt()), 0) == -1;
}

// A bench group of a motherboard running its firmware.
inline QString motherboard(int id, int firmware, const QString& extra = QString())
{
    return QStringLiteral("[board%1]\nid=%1\ntype=1\nfirmware=%2\n%3\n").arg(id).arg(firmware).arg(extra);
}

// What a modal dialog showed when it was answered.
struct DialogSeen {
    bool seen = false;
    QString className;
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
};

// Answers the next modal dialog from the event loop. For a QMessageBox the
// given standard button is pressed; for any other dialog `answer` runs (or the
// dialog is rejected when none is given). Keep the returned object alive until
// the dialog has come and gone: it polls with a timer, so nested event loops
// of the dialog keep working.
class ModalAnswer : public QObject
{
public:
    explicit ModalAnswer(
        QMessageBox::StandardButton button = QMessageBox::Ok, std::function<void(QWidget*)> answer = {})
        : m_button(button)
        , m_answer(std::move(answer))
    {
        m_timer.setInterval(10);
        QObject::connect(&m_timer, &QTimer::timeout, this, &ModalAnswer::poll);
        m_timer.start();
    }

    const DialogSeen& seen() const { return m_seen; }

private:
    void poll()
    {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal)
            return;
        m_timer.stop();
        m_seen.seen = true;
        m_seen.className = QString::fromLatin1(modal->metaObject()->className());
        m_seen.title = modal->windowTitle();
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            m_seen.text = box->text();
            m_seen.icon = box->icon();
            if (QAbstractButton* b = box->button(m_button))
                b->click();
            else
                box->reject();
            return;
        }
        if (auto* progress = qobject_cast<QProgressDialog*>(modal))
            m_seen.text = progress->labelText();
        if (m_answer)
            m_answer(modal);
        else if (auto* dialog = qobject_cast<QDialog*>(modal))
            dialog->reject();
    }

    QMessageBox::StandardButton m_button;
    std::function<void(QWidget*)> m_answer;
    QTimer m_timer;
    DialogSeen m_seen;
};

// The rows of a test that ends a job by signal: Ctrl+C and SIGTERM.
inline void addSignalRows()
{
    QTest::addColumn<int>("signal");
    QTest::newRow("SIGINT") << int(SIGINT);
    QTest::newRow("SIGTERM") << int(SIGTERM);
}

// Waits for a started job, sends it `signal` once when `trigger` first shows
// in its standard output (a second signal would end it at once), and returns
// all it printed once it has ended.
inline QByteArray interruptWhen(QProcess* process, const QByteArray& trigger, int signal, int timeoutMs = 15000)
{
    QByteArray output;
    bool sent = false;
    const QMetaObject::Connection reading = QObject::connect(process, &QProcess::readyReadStandardOutput, [&] {
        output += process->readAllStandardOutput();
        if (!sent && output.contains(trigger))
            sent = ::kill(pid_t(process->processId()), signal) == 0;
    });
    QElapsedTimer clock;
    clock.start();
    while (process->state() != QProcess::NotRunning && clock.elapsed() < timeoutMs)
        QTest::qWait(10);
    QObject::disconnect(reading);
    return output + process->readAllStandardOutput();
}

} // namespace TestSupport
