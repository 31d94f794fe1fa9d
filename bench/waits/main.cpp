// CPU use of the firmware update's two waits: the wait for a bootloader that
// never reports (ended by the timeout) and the wait for a tool that sleeps.
// Both block on the event loop, so the process should stay close to idle.

#include "applicationdirectory.h"
#include "defaultwidget.h"
#include "km4200controller.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTextStream>

#include <cstdio>
#include <memory>
#include <sys/resource.h>

namespace
{

const int waitMs = 5000;

// CPU seconds of this process (user and system), without its children.
double processCpuSeconds()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
        + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

bool writeFile(const QString& path, const QByteArray& content, bool executable = false)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    file.write(content);
    file.close();
    if (executable)
        file.setPermissions(file.permissions() | QFileDevice::ExeOwner | QFileDevice::ExeUser);
    return true;
}

struct Measure {
    double wallSeconds = 0;
    double cpuPercent = 0;
};

// Runs one update of board 1 and measures from `from` (a log text, or the
// start when empty) to the end of the procedure.
Measure runUpdate(const QString& bench, const QString& from)
{
    const QByteArray benchText = QStringLiteral("[bench]\nbootloaderDelayMs=100\noperationMs=100\n\n"
                                                "[board1]\nid=1\ntype=1\nfirmware=5\n%1\n")
                                     .arg(bench)
                                     .toUtf8();
    writeFile(ApplicationDirectory::path() + "/bench.ini", benchText);
    qputenv("KM4200_BENCH", (ApplicationDirectory::path() + "/bench.ini").toLocal8Bit());
    auto controller = std::make_unique<KM4200Controller>();

    DefaultWidget page(nullptr);
    QElapsedTimer wall;
    double cpuStart = 0;
    auto startMeasure = [&] {
        wall.start();
        cpuStart = processCpuSeconds();
    };
    if (from.isEmpty())
        startMeasure();
    else
        QObject::connect(&page, &BaseWidget::logmessage, &page, [&](KestrixStudio::LogLevel, const QString& text) {
            if (text == from)
                startMeasure();
        });

    page.startBootloader(1);

    Measure m;
    m.wallSeconds = double(wall.elapsed()) / 1000.0;
    m.cpuPercent = m.wallSeconds > 0 ? 100.0 * (processCpuSeconds() - cpuStart) / m.wallSeconds : 0.0;
    return m;
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    QTemporaryDir dir;
    if (!dir.isValid())
        return 1;
    ApplicationDirectory::setPathForTesting(dir.path());
    QDir(dir.path()).mkdir("hex");
    writeFile(dir.path() + "/hex/KestrixFirmware_6.hex", ":00000001FF\n");
    writeFile(
        dir.path() + "/dfu-programmer", QStringLiteral("#!/bin/sh\nsleep %1\n").arg(waitMs / 1000).toUtf8(), true);
    DefaultWidget warmUp(nullptr); // scans the hex folder

    DefaultWidget::setBootloaderTimeoutForTesting(waitMs);
    const Measure bootloader = runUpdate("bootloader=silent", QString());
    const Measure tool = runUpdate("bootloader=responds", "Starting update of board 1");

    const double target = 2.0;
    QTextStream out(stdout);
    out.setRealNumberNotation(QTextStream::FixedNotation);
    out.setRealNumberPrecision(2);
    out << "bootloader_wait_seconds: " << bootloader.wallSeconds << '\n';
    out << "bootloader_wait_cpu_percent: " << bootloader.cpuPercent << '\n';
    out << "bootloader_wait_cpu_ratio_to_target: " << bootloader.cpuPercent / target << '\n';
    out << "tool_wait_seconds: " << tool.wallSeconds << '\n';
    out << "tool_wait_cpu_percent: " << tool.cpuPercent << '\n';
    out << "tool_wait_cpu_ratio_to_target: " << tool.cpuPercent / target << '\n';
    return 0;
}
