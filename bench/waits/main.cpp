// The firmware update engine's cost: the time it adds to one board's update
// beyond the bench's bootloader delay and the tool's own run (the simulated
// dfu-programmer, timed alone on the same bench), and the CPU use of its two
// waits: for a bootloader that never reports (ended by the timeout) and for a
// tool that sleeps. Both waits block on the event loop, so the process should
// stay close to idle.

#include "applicationdirectory.h"
#include "firmwareupdate.h"
#include "km4200controller.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>
#include <memory>
#include <sys/resource.h>

namespace
{

const int waitMs = 5000;
const int bootloaderDelayMs = 200;
const int toolMs = 300;
const int rounds = 5;

// CPU seconds of this process (user and system), without its children.
double processCpuSeconds()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
        + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

void writeFile(const QString& path, const QByteArray& content, bool executable = false)
{
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(content);
    file.close();
    if (executable)
        file.setPermissions(file.permissions() | QFileDevice::ExeOwner);
}

QString benchPath()
{
    return ApplicationDirectory::path() + "/bench.ini";
}

// Board 1 at firmware 5, in normal operation (type 1) or in its bootloader (4).
void writeBench(int type, const QString& extra = QString())
{
    writeFile(benchPath(),
        QStringLiteral("[bench]\nbootloaderDelayMs=%1\ntoolMs=%2\n\n[board1]\nid=1\ntype=%3\nfirmware=5\n%4\n")
            .arg(bootloaderDelayMs)
            .arg(toolMs)
            .arg(type)
            .arg(extra)
            .toUtf8());
}

void useTool(const QByteArray& script)
{
    writeFile(ApplicationDirectory::path() + "/dfu-programmer", "#!/bin/sh\n" + script + "\n", true);
}

double median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    return values.at(values.size() / 2);
}

struct Measure {
    double wallMs = 0;
    double cpuPercent = 0;
};

// One update of board 1, measured from `from` (a logged text, or the start
// when empty) to its end.
Measure runUpdate(const QString& from = QString())
{
    KM4200Controller controller;
    FirmwareUpdate update;
    update.setBootloaderTimeout(waitMs);
    QElapsedTimer wall;
    double cpuStart = 0;
    auto start = [&] {
        wall.start();
        cpuStart = processCpuSeconds();
    };
    if (from.isEmpty())
        start();
    QObject::connect(&update, &FirmwareUpdate::logmessage, [&](KestrixStudio::LogLevel, const QString& text) {
        if (text == from)
            start();
    });
    update.run(1, 6);
    Measure m;
    m.wallMs = double(wall.nsecsElapsed()) / 1e6;
    m.cpuPercent = m.wallMs > 0 ? 100.0 * (processCpuSeconds() - cpuStart) * 1000.0 / m.wallMs : 0.0;
    return m;
}

// The tool alone on a board that already waits in its bootloader.
double toolAloneMs()
{
    writeBench(4);
    QProcess tool;
    QElapsedTimer wall;
    wall.start();
    tool.start(FirmwareUpdate::toolPath(), { "at90usb1287", "flash", FirmwareUpdate::firmwarePath(6) });
    tool.waitForFinished(-1);
    return double(wall.nsecsElapsed()) / 1e6;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    if (!dir.isValid())
        return 1;
    ApplicationDirectory::setPathForTesting(dir.path());
    QDir(dir.path()).mkdir("hex");
    writeFile(dir.path() + "/hex/KestrixFirmware_6.hex", ":0100000000FF\n:00000001FF\n");
    qputenv("KM4200_BENCH", benchPath().toLocal8Bit());

    useTool(QStringLiteral("exec \"%1\" \"$@\"").arg(DFU_PROGRAMMER_PATH).toUtf8());
    QList<double> updates;
    QList<double> tools;
    for (int i = 0; i < rounds; ++i) {
        tools << toolAloneMs();
        writeBench(1);
        updates << runUpdate().wallMs;
    }
    const double update = median(updates);
    const double tool = median(tools);
    const double overhead = update - bootloaderDelayMs - tool;

    useTool(QStringLiteral("sleep %1").arg(waitMs / 1000).toUtf8());
    writeBench(1, "bootloader=silent");
    const Measure bootloaderWait = runUpdate();
    writeBench(1);
    const Measure toolWait = runUpdate("Starting update of board 1");

    const double overheadTarget = 100.0;
    const double cpuTarget = 2.0;
    QTextStream out(stdout);
    out.setRealNumberNotation(QTextStream::FixedNotation);
    out.setRealNumberPrecision(2);
    out << "update_ms: " << update << '\n';
    out << "bootloader_delay_ms: " << bootloaderDelayMs << '\n';
    out << "tool_alone_ms: " << tool << '\n';
    out << "engine_overhead_ms: " << overhead << '\n';
    out << "engine_overhead_ratio_to_target: " << overhead / overheadTarget << '\n';
    out << "bootloader_wait_seconds: " << bootloaderWait.wallMs / 1000.0 << '\n';
    out << "bootloader_wait_cpu_percent: " << bootloaderWait.cpuPercent << '\n';
    out << "bootloader_wait_cpu_ratio_to_target: " << bootloaderWait.cpuPercent / cpuTarget << '\n';
    out << "tool_wait_seconds: " << toolWait.wallMs / 1000.0 << '\n';
    out << "tool_wait_cpu_percent: " << toolWait.cpuPercent << '\n';
    out << "tool_wait_cpu_ratio_to_target: " << toolWait.cpuPercent / cpuTarget << '\n';
    return 0;
}
