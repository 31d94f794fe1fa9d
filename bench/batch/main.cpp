// Many boards at once: the command-line job's wall time for 1 and for 32
// boards (in parallel they should take about as long as one), the largest
// event-loop stall of the window while the All boards page programs 32
// boards, and the memory each running board adds.

#include "basewidget.h"
#include "km4200controller.h"
#include "widgetfactory.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <memory>
#include <unistd.h>

namespace
{

const int demoOperationMs = 1500; // examples/bench/bench.ini

void writeBench(const QString& folder, int boards)
{
    QByteArray text = "[bench]\noperationMs=" + QByteArray::number(demoOperationMs) + "\n\n";
    for (int id = 1; id <= boards; ++id)
        text += "[board" + QByteArray::number(id) + "]\nid=" + QByteArray::number(id) + "\ntype=1\nfirmware=12\n\n";
    QDir(folder).removeRecursively(); // fresh module memory: every board is programmed
    QDir().mkpath(folder);
    QFile file(folder + "/bench.ini");
    file.open(QIODevice::WriteOnly);
    file.write(text);
}

// Wall seconds of "-program demo.hex -board all" on a fresh bench of n boards.
double cliSeconds(const QString& root, int boards)
{
    const QString folder = root + QStringLiteral("/cli%1").arg(boards);
    writeBench(folder, boards);
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("KM4200_BENCH", folder + "/bench.ini");
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    environment.insert("HOME", root);
    process.setProcessEnvironment(environment);
    QElapsedTimer clock;
    clock.start();
    process.start(QStringLiteral(KESTRIX_STUDIO_EXE),
        { "-program", QStringLiteral(DEMO_MODULE_HEX), "-board", "all" });
    process.waitForFinished(120000);
    const double seconds = clock.nsecsElapsed() / 1e9;
    if (process.exitCode() != 0)
        std::fprintf(stderr, "bench_batch: the job on %d boards ended with %d\n%s", boards, process.exitCode(),
            process.readAllStandardOutput().constData());
    return seconds;
}

long residentKiB()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.value(1).toLong() * (sysconf(_SC_PAGESIZE) / 1024);
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir root;

    const double one = cliSeconds(root.path(), 1);
    const double many = cliSeconds(root.path(), 32);
    std::printf("cli_1_board_s: %.2f\ncli_32_boards_s: %.2f\nratio_32_vs_1: %.2f (goal <= 1.3)\n", one, many,
        many / one);
    std::fflush(stdout);

    // The window's side: the All boards page on 32 boards, the event loop watched by a 1 ms timer.
    const QString folder = root.path() + "/window";
    writeBench(folder, 32);
    qputenv("KM4200_BENCH", QFile::encodeName(folder + "/bench.ini"));
    QTemporaryDir plugins;
    QFile::copy(QStringLiteral(MODULEPROGRAMMER_PLUGIN), plugins.filePath("moduleprogrammer.so"));
    auto controller = std::make_unique<KM4200Controller>();
    WidgetFactory::loadPlugins(plugins.path());
    BaseWidget* page = WidgetFactory::createWidget(KestrixStudio::WidgetTypeFlash, 0, 0);
    page->resize(900, 700);
    page->show();
    page->findChild<QLineEdit*>("pathEdit")->setText(QStringLiteral(DEMO_MODULE_HEX));
    auto* program = page->findChild<QPushButton*>("programButton");
    QCoreApplication::processEvents();

    const long idleKiB = residentKiB();
    long peakKiB = idleKiB;
    qint64 maxStallNs = 0;
    QElapsedTimer sinceTick;
    QTimer ticker;
    ticker.setInterval(1);
    QObject::connect(&ticker, &QTimer::timeout, [&]() {
        maxStallNs = qMax(maxStallNs, sinceTick.nsecsElapsed());
        sinceTick.restart();
        peakKiB = qMax(peakKiB, residentKiB());
    });
    QElapsedTimer clock;
    clock.start();
    sinceTick.start();
    ticker.start();
    program->click();
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&]() {
        if (program->isEnabled())
            app.quit();
    });
    poll.start(50);
    app.exec();
    const double windowSeconds = clock.nsecsElapsed() / 1e9;

    std::printf("window_32_boards_s: %.2f\nmax_stall_ms: %.1f (goal <= 50)\nmemory_per_board_kib: %.1f\n",
        windowSeconds, maxStallNs / 1e6, double(peakKiB - idleKiB) / 32.0);
    delete page;
    WidgetFactory::unloadPlugins();
    return 0;
}
