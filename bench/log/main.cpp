// A long production session for the log: 100,000 messages of 80 characters,
// half status (listed and written), half debug (written only), sent to a shown
// log view in slices with the event loop running between them, as messages
// arrive in the application. Compared with writing and flushing the same lines
// through QFile alone.

#include "logview.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTextStream>
#include <QWindow>

#include <cstdio>
#include <ctime>

namespace
{

constexpr int messageCount = 100000;
constexpr int sliceSize = 100; // messages between two turns of the event loop
constexpr int reportEvery = 10000;

double residentMiB(const char* field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    const QByteArrayList lines = status.readAll().split('\n');
    for (const QByteArray& line : lines) {
        if (line.startsWith(field))
            return line.mid(qstrlen(field)).trimmed().split(' ').first().toDouble() / 1024.0;
    }
    return 0;
}

// Processor time of this process: the machine may be shared with other work.
double cpuSeconds()
{
    timespec now {};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return now.tv_sec + now.tv_nsec / 1e9;
}

QString messageText(int i)
{
    QString text = QStringLiteral("Module %1 on connector %2: block %3 verified")
                       .arg(i % 7)
                       .arg(i % 4)
                       .arg(i, 6, 10, QLatin1Char('0'));
    text.reserve(80);
    while (text.size() < 80)
        text.append(QLatin1Char('a' + text.size() % 26));
    return text;
}

KestrixStudio::LogLevel levelOf(int i)
{
    return i % 2 ? KestrixStudio::LogStatus : KestrixStudio::LogDebug;
}

} // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    QTemporaryDir dir;
    if (!dir.isValid())
        return 1;

    QVector<QString> texts;
    texts.reserve(messageCount);
    for (int i = 0; i < messageCount; ++i)
        texts.append(messageText(i));

    // Baseline: the file lines alone, flushed one by one.
    QElapsedTimer timer;
    double fileCpu = 0;
    {
        QFile file(dir.filePath(QStringLiteral("baseline.txt")));
        if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text))
            return 1;
        QTextStream stream(&file);
        const QString names[] = { QStringLiteral("DEBUG"), QStringLiteral("STATUS") };
        timer.start();
        fileCpu = cpuSeconds();
        for (int i = 0; i < messageCount; ++i)
            stream << names[levelOf(i)] << QLatin1String(": ") << texts.at(i) << Qt::endl;
    }
    const double fileSeconds = timer.nsecsElapsed() / 1e9;
    fileCpu = cpuSeconds() - fileCpu;

    const double rssBefore = residentMiB("VmRSS:");
    LogView view(dir.filePath(QStringLiteral("log.txt")), nullptr);
    view.resize(900, 300);
    view.show();
    while (!view.windowHandle() || !view.windowHandle()->isExposed())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    QCoreApplication::processEvents();

    QElapsedTimer slice;
    timer.start();
    slice.start();
    double viewCpu = cpuSeconds();
    double sliceCpu = viewCpu;
    for (int i = 0; i < messageCount; ++i) {
        view.message(levelOf(i), texts.at(i));
        if ((i + 1) % sliceSize == 0)
            QCoreApplication::processEvents();
        if ((i + 1) % reportEvery == 0) {
            const double cpu = cpuSeconds();
            std::printf("messages_per_s_%06d: %.0f\n", i + 1, reportEvery / (slice.nsecsElapsed() / 1e9));
            std::printf("cpu_messages_per_s_%06d: %.0f\n", i + 1, reportEvery / (cpu - sliceCpu));
            sliceCpu = cpu;
            std::printf("rss_added_mib_%06d: %.1f\n", i + 1, residentMiB("VmRSS:") - rssBefore);
            slice.restart();
        }
    }
    // Done when the newest row is on screen.
    QListWidgetItem* newest = view.item(view.count() - 1);
    QElapsedTimer settle;
    settle.start();
    bool newestVisible = false;
    while (!(newestVisible = view.viewport()->rect().contains(view.visualItemRect(newest))) && settle.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    const double viewSeconds = timer.nsecsElapsed() / 1e9;
    viewCpu = cpuSeconds() - viewCpu;

    std::printf("messages: %d\n", messageCount);
    std::printf("rows: %d\n", view.count());
    std::printf("seconds: %.3f\n", viewSeconds);
    std::printf("messages_per_s: %.0f\n", messageCount / viewSeconds);
    std::printf("qfile_lines_per_s: %.0f\n", messageCount / fileSeconds);
    std::printf("ratio_vs_qfile: %.2f\n", viewSeconds / fileSeconds);
    std::printf("cpu_messages_per_s: %.0f\n", messageCount / viewCpu);
    std::printf("cpu_ratio_vs_qfile: %.2f\n", viewCpu / fileCpu);
    std::printf("settle_ms: %lld\n", static_cast<long long>(settle.elapsed()));
    std::printf("newest_row_visible: %d\n", newestVisible ? 1 : 0);
    std::printf("peak_added_mib: %.1f\n", residentMiB("VmHWM:") - rssBefore);
    std::printf("bytes_per_row: %.0f\n", (residentMiB("VmRSS:") - rssBefore) * 1024 * 1024 / view.count());
    return newestVisible ? 0 : 1;
}
