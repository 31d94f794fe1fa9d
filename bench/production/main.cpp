// Production programming as a rig sees it: 100 boards plugged in one after
// another (one every 200 ms, each unplugged a second later; IDs cycle
// through 1..8, as a fixture gives the same IDs again) on a bench whose
// module operations take 100 ms, programmed by an armed BatchProgrammer.
// Prints the boards programmed per minute, the connections missed, and the
// largest delay from writing a board into the bench to its first step.
//
//   bench_production [boards]        (default 100)

#include "batchprogrammer.h"
#include "hexmodel.h"
#include "km4200controller.h"
#include "programmingengine.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QSaveFile>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>

namespace
{

const int plugEveryMs = 200;
const int stayMs = 1000;
const int operationMs = 100;
const int ids = 8;
// The bench reads an edited file once it has been quiet this long, at most this late.
const int debounceMs = 40, maxDebounceMs = 150;

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const int boards = argc > 1 ? qMax(1, atoi(argv[1])) : 100;
    QTemporaryDir dir;
    const QString benchPath = dir.filePath(QStringLiteral("bench.ini"));
    QHash<int, qint64> pluggedAt; // board ID to the time it was last written in
    QElapsedTimer clock;
    const auto write = [&](int first, int last) {
        QByteArray text = "[bench]\noperationMs=" + QByteArray::number(operationMs) + "\nbootloaderDelayMs=30\n\n";
        // Boards first..last are plugged in now; each run starts with empty module memory.
        for (int n = first; n <= last; ++n) {
            const int id = (n - 1) % ids + 1;
            text += "[board" + QByteArray::number(n) + "]\nid=" + QByteArray::number(id) + "\ntype=1\n\n";
        }
        QDir(dir.filePath(QStringLiteral("bench.memory"))).removeRecursively();
        QSaveFile file(benchPath);
        file.open(QIODevice::WriteOnly);
        file.write(text);
        file.commit();
    };
    write(1, 0);
    qputenv("KM4200_BENCH", QFile::encodeName(benchPath));
    KM4200Controller controller;

    HexModel image;
    const QString hex = QStringLiteral(DEMO_MODULE_HEX);
    ProgrammingEngine::readHexFile(hex, &image);
    BatchProgrammer batch;
    int started = 0, programmed = 0, ended = 0;
    qint64 worstDelay = 0;
    QList<qint64> delays;
    QObject::connect(&batch, &BatchProgrammer::boardStep, [&](int boardID, ProgrammingEngine::Step step) {
        if (step != ProgrammingEngine::StepComparing)
            return;
        ++started;
        const qint64 delay = clock.elapsed() - pluggedAt.value(boardID);
        delays << delay;
        worstDelay = qMax(worstDelay, delay);
    });
    QObject::connect(&batch, &BatchProgrammer::boardFinished, [&](int, const ProgrammingEngine::Result& result) {
        ++ended;
        programmed += result.succeeded();
    });
    batch.arm(hex, 0, image, boards);
    QObject::connect(&batch, &BatchProgrammer::finished, &app, &QCoreApplication::quit);

    // Board n is in the bench from n * 200 ms to n * 200 ms + 1 s.
    clock.start();
    int next = 1;
    QTimer plug;
    QObject::connect(&plug, &QTimer::timeout, [&] {
        if (next > boards) {
            plug.stop(); // the last ones stay until they are done
            return;
        }
        const int first = qMax(1, next - stayMs / plugEveryMs + 1);
        pluggedAt.insert((next - 1) % ids + 1, clock.elapsed());
        write(first, next);
        ++next;
    });
    plug.start(plugEveryMs);
    QTimer::singleShot((boards + 10) * plugEveryMs + 5000, &app, [&] {
        std::fprintf(stderr, "bench_production: gave up waiting; %d of %d boards started\n", started, boards);
        batch.cancel();
    });
    app.exec();
    const double minutes = clock.elapsed() / 60000.0;

    std::sort(delays.begin(), delays.end());
    std::printf("boards: %d\n", boards);
    std::printf("boards_programmed_per_minute: %.1f\n", programmed / minutes);
    std::printf("missed_connections: %d (goal 0)\n", boards - started);
    std::printf("failed_boards: %d\n", ended - programmed);
    std::printf("median_arrival_to_first_step_ms: %lld\n", delays.isEmpty() ? 0LL : delays.at(delays.size() / 2));
    std::printf("max_arrival_to_first_step_ms: %lld (goal <= %d: the bench's debounce of %d to %d ms plus 100)\n",
        worstDelay, maxDebounceMs + 100, debounceMs, maxDebounceMs);
    return boards == started ? 0 : 1;
}
