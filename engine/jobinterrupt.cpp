#include "jobinterrupt.h"

#include <QSocketNotifier>

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace
{

int s_pipe[2] = { -1, -1 };
volatile sig_atomic_t s_signals = 0;
struct sigaction s_oldInt, s_oldTerm;

void onSignal(int number)
{
    // Only async-signal-safe calls here.
    if (++s_signals > 1)
        _exit(128 + number);
    const char byte = char(number);
    [[maybe_unused]] const ssize_t written = write(s_pipe[1], &byte, 1);
}

} // namespace

JobInterrupt::JobInterrupt(QObject* parent)
    : QObject(parent)
{
    if (s_pipe[0] >= 0 || pipe2(s_pipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return; // one at a time; without a pipe the default handling stays
    s_signals = 0;
    m_notifier = new QSocketNotifier(s_pipe[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &JobInterrupt::readSignal);
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, &s_oldInt);
    sigaction(SIGTERM, &action, &s_oldTerm);
}

JobInterrupt::~JobInterrupt()
{
    if (!m_notifier)
        return;
    sigaction(SIGINT, &s_oldInt, nullptr);
    sigaction(SIGTERM, &s_oldTerm, nullptr);
    delete m_notifier;
    close(s_pipe[0]);
    close(s_pipe[1]);
    s_pipe[0] = s_pipe[1] = -1;
}

void JobInterrupt::readSignal()
{
    char bytes[16];
    while (read(s_pipe[0], bytes, sizeof bytes) > 0) { }
    if (m_interrupted)
        return;
    m_interrupted = true;
    emit interrupted();
}
