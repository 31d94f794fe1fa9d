#pragma once

#include "kestrixengine_export.h"

#include <QObject>

class QSocketNotifier;

// Ctrl+C and SIGTERM for a command-line job. While an object lives, the
// first SIGINT or SIGTERM is turned into interrupted(), delivered from the
// event loop (a self-pipe read by a QSocketNotifier), so the job can cancel
// its work through the engines and end with status 1. A second signal ends
// the process at once. The previous handlers come back when it is deleted.
class KESTRIXENGINE_EXPORT JobInterrupt : public QObject
{
    Q_OBJECT

public:
    explicit JobInterrupt(QObject* parent = nullptr);
    ~JobInterrupt() override;

    // A signal has arrived.
    bool isInterrupted() const { return m_interrupted; }

signals:
    void interrupted();

private:
    void readSignal();

    QSocketNotifier* m_notifier = nullptr;
    bool m_interrupted = false;
};
