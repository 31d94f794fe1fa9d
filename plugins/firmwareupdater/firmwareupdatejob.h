#pragma once

#include "kestrixstudio.h"

#include <QJsonObject>
#include <QObject>

class QTextStream;
class UpdateOptions;

// The command-line job: brings motherboards to the newest firmware of the hex
// folder, one after another (the tool flashes the first device it finds in
// its bootloader), through the same FirmwareUpdate the overview page drives.
// Every step goes to the stream as one line, the log's text, or as one JSON
// object per line; the log file gets the same texts.
class FirmwareUpdateJob : public QObject
{
    Q_OBJECT

public:
    enum ExitStatus { ExitSuccess = 0, ExitFailed = 1, ExitBadInput = 2 };

    FirmwareUpdateJob(QTextStream* out, bool json, QObject* parent = nullptr);

    // Runs the whole job; the result is the process exit status.
    int run(const UpdateOptions& options);
    // Reports bad input as one line; the result is the exit status for it.
    int error(const QString& text);

private:
    // Updates one board; true when it ends on the newest firmware.
    bool update(int boardID, quint32 newest);
    // Waits for a renewed board to come back as a motherboard; its firmware or -1.
    int waitForReturn(int boardID);
    void step(int boardID, KestrixStudio::LogLevel level, const QString& text);
    void result(int boardID, const QString& result, const QString& text, QJsonObject details = QJsonObject());
    // One line: the text, or the fields and the text as one JSON object; the
    // log gets the text.
    void print(KestrixStudio::LogLevel level, const QString& text, QJsonObject fields);

    QTextStream* m_out;
    bool m_json;
    int m_bootloaderTimeout;
};
