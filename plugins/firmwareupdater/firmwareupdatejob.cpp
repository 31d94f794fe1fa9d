#include "firmwareupdatejob.h"

#include "connectable.h"
#include "connectionmanager.h"
#include "firmwareupdate.h"
#include "jobinterrupt.h"
#include "motherboard.h"
#include "updateoptions.h"
#include "widgetsignalbridge.h"

#include <QDir>
#include <QEventLoop>
#include <QJsonArray>
#include <QJsonDocument>
#include <QMetaEnum>
#include <QTextStream>
#include <QTimer>

namespace
{

QString levelName(KestrixStudio::LogLevel level)
{
    switch (level) {
    case KestrixStudio::LogError:
        return QStringLiteral("error");
    case KestrixStudio::LogStatus:
        return QStringLiteral("status");
    default:
        return QStringLiteral("debug");
    }
}

// Why the library sees no board: its start-up messages above debug level.
QString libraryNews()
{
    QStringList news;
    const QStringList messages = ConnectionManager::Instance()->getLogmessagesFromInit();
    for (const QString& entry : messages) {
        const int at = entry.indexOf(QLatin1Char('@'));
        if (at > 0 && entry.left(at).toInt() > 0)
            news << entry.mid(at + 1);
    }
    return news.join(QLatin1Char(' '));
}

} // namespace

FirmwareUpdateJob::FirmwareUpdateJob(QTextStream* out, bool json, QObject* parent)
    : QObject(parent)
    , m_out(out)
    , m_json(json)
    // Test rigs shorten the wait for a bootloader that never reports.
    , m_bootloaderTimeout(qEnvironmentVariableIntValue("KESTRIX_BOOTLOADER_WAIT_MS") > 0
              ? qEnvironmentVariableIntValue("KESTRIX_BOOTLOADER_WAIT_MS")
              : FirmwareUpdate::DefaultBootloaderTimeout)
{
}

int FirmwareUpdateJob::run(const UpdateOptions& options)
{
    // Decided before any board leaves its firmware.
    const quint32 newest = FirmwareUpdate::newestFirmware();
    if (newest == 0)
        return error(tr("Error: no firmware file KestrixFirmware_<n>.hex in %1.")
                         .arg(QDir::toNativeSeparators(FirmwareUpdate::hexFolder())));
    QString problem;
    if (!FirmwareUpdate::checkFirmwareFile(newest, &problem))
        return error(tr("Error: the firmware file cannot be used: %1. No board was touched.").arg(problem));

    const QMap<int, MotherBoard*> connected = ConnectionManager::Instance()->motherBoards();
    const QList<int> waiting = FirmwareUpdate::waitingBootloaders();
    if (connected.isEmpty() && (options.selection() != UpdateOptions::NamedBoards || waiting.isEmpty())) {
        const QString news = libraryNews();
        return error(news.isEmpty() ? tr("Error: no motherboard is connected; nothing was updated.")
                                    : tr("Error: no motherboard is connected; nothing was updated. %1").arg(news));
    }
    QList<int> boards = options.boards();
    if (options.selection() == UpdateOptions::NamedBoards) {
        for (int id : qAsConst(boards)) {
            // A board that waits in its bootloader can be named to finish its update.
            if (!connected.contains(id) && !waiting.contains(id)) {
                QStringList ids;
                for (int known : connected.keys())
                    ids << QString::number(known);
                for (int known : waiting)
                    ids << tr("%1 (in its bootloader)").arg(known);
                return error(tr("Error: no motherboard with ID %1 is connected (connected: %2).")
                                 .arg(id)
                                 .arg(ids.isEmpty() ? tr("none") : ids.join(QStringLiteral(", "))));
            }
        }
    } else {
        boards = connected.keys();
    }

    step(-1, KestrixStudio::LogStatus,
        tr("Updating motherboards to firmware %1 (%2)")
            .arg(newest)
            .arg(QDir::toNativeSeparators(FirmwareUpdate::firmwarePath(newest))));
    // Ctrl+C or SIGTERM ends the running update (the tool too) and the job.
    JobInterrupt interrupt;
    connect(&interrupt, &JobInterrupt::interrupted, this, [] {
        if (FirmwareUpdate* update = FirmwareUpdate::active())
            update->cancel();
    });
    bool allNewest = true;
    for (int id : qAsConst(boards)) {
        if (interrupt.isInterrupted())
            break;
        MotherBoard* board = ConnectionManager::Instance()->motherBoard(id);
        const quint16 firmware = board ? board->getBoardFirmwareID() : 0;
        if (board && options.selection() == UpdateOptions::OutdatedBoards && firmware >= quint16(newest)) {
            result(id, QStringLiteral("current"), tr("Board %1 runs firmware %2: nothing to do").arg(id).arg(firmware),
                { { QStringLiteral("firmware"), firmware } });
            continue;
        }
        allNewest = update(id, newest) && allNewest;
    }
    return allNewest ? ExitSuccess : ExitFailed;
}

bool FirmwareUpdateJob::update(int boardID, quint32 newest)
{
    FirmwareUpdate engine;
    engine.setBootloaderTimeout(m_bootloaderTimeout);
    engine.setFinishWaitingBootloader(true);
    connect(&engine, &FirmwareUpdate::logmessage, this,
        [this, boardID](KestrixStudio::LogLevel level, const QString& text) { step(boardID, level, text); });
    const int shownID = boardID & 0xff;
    const FirmwareUpdate::Result outcome = engine.run(shownID, newest);

    QString reason = QString::fromLatin1(QMetaEnum::fromType<FirmwareUpdate::Result>().valueToKey(outcome));
    reason[0] = reason.at(0).toLower();
    QJsonObject details { { QStringLiteral("reason"), reason } };
    switch (outcome) {
    case FirmwareUpdate::Updated:
        break;
    case FirmwareUpdate::BoardLost:
        result(boardID, QStringLiteral("disconnected"), tr("Board %1 is not connected").arg(shownID), details);
        return false;
    case FirmwareUpdate::LostDuringUpdate:
        details.insert(QStringLiteral("exitCode"), engine.exitCode());
        Q_FALLTHROUGH();
    case FirmwareUpdate::LostDuringJump:
        result(boardID, QStringLiteral("disconnected"),
            tr("Board %1 left the bus during its update; its firmware is unknown").arg(shownID), details);
        return false;
    case FirmwareUpdate::Cancelled:
        result(boardID, QStringLiteral("cancelled"),
            tr("The update of board %1 was cancelled. If it waits in its bootloader, \"-updatefirmware -board %1\" "
               "finishes it.")
                .arg(shownID),
            details);
        return false;
    case FirmwareUpdate::ToolFailed:
        details.insert(QStringLiteral("exitCode"), engine.exitCode());
        details.insert(QStringLiteral("output"), QJsonArray::fromStringList(engine.lastOutput()));
        Q_FALLTHROUGH();
    default:
        result(boardID, QStringLiteral("failed"), tr("Board %1 was not updated").arg(shownID), details);
        return false;
    }

    const int firmware = waitForReturn(boardID);
    if (firmware < 0) {
        result(boardID, QStringLiteral("disconnected"), tr("Board %1 did not come back after the update").arg(shownID),
            details);
        return false;
    }
    details.insert(QStringLiteral("firmware"), firmware);
    if (quint16(firmware) != quint16(newest)) {
        result(boardID, QStringLiteral("failed"),
            tr("Board %1 came back with firmware %2 instead of %3").arg(shownID).arg(firmware).arg(newest), details);
        return false;
    }
    result(boardID, QStringLiteral("updated"), tr("Board %1 runs firmware %2").arg(shownID).arg(firmware), details);
    return true;
}

int FirmwareUpdateJob::waitForReturn(int boardID)
{
    // renew() restarts the board: it leaves the bus and reports back.
    auto firmware = [boardID] {
        MotherBoard* board = ConnectionManager::Instance()->motherBoard(boardID);
        return board ? int(board->getBoardFirmwareID()) : -1;
    };
    QEventLoop loop;
    QTimer::singleShot(m_bootloaderTimeout, &loop, &QEventLoop::quit);
    connect(ConnectionManager::Instance(), &ConnectionManager::updated, &loop, [&] {
        if (firmware() >= 0)
            loop.quit();
    });
    if (firmware() < 0)
        loop.exec();
    return firmware();
}

void FirmwareUpdateJob::step(int boardID, KestrixStudio::LogLevel level, const QString& text)
{
    QJsonObject fields { { QStringLiteral("level"), levelName(level) } };
    if (boardID >= 0)
        fields.insert(QStringLiteral("board"), boardID);
    print(level, text, fields);
}

void FirmwareUpdateJob::result(int boardID, const QString& result, const QString& text, QJsonObject details)
{
    const bool ok = result == QLatin1String("updated") || result == QLatin1String("current");
    details.insert(QStringLiteral("board"), boardID);
    details.insert(QStringLiteral("result"), result);
    print(ok ? KestrixStudio::LogStatus : KestrixStudio::LogError, text, details);
}

int FirmwareUpdateJob::error(const QString& text)
{
    // Bad input in the shape every job uses.
    print(KestrixStudio::LogError, text, { { QStringLiteral("result"), QStringLiteral("error") } });
    return ExitBadInput;
}

void FirmwareUpdateJob::print(KestrixStudio::LogLevel level, const QString& text, QJsonObject fields)
{
    WidgetSignalBridge::instance()->log(level, text);
    if (m_json) {
        fields.insert(QStringLiteral("message"), text);
        *m_out << QJsonDocument(fields).toJson(QJsonDocument::Compact) << Qt::endl;
    } else {
        *m_out << text << Qt::endl;
    }
}
