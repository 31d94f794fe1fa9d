// Start-up as a user waits for it: from launching the executable until its
// window is on screen and the event loop is idle. Under KESTRIX_QUIT_WHEN_IDLE=1
// the programs write the line "idle" at that moment and quit; its arrival on
// the pipe stops the clock. The teardown after it (until the process has
// ended) is timed apart: nobody waits for it, but it must stay short. Compared
// with a bare Qt main window with two docks that does the same. Our executable
// runs from a copy in a temporary installation, once alone and once with 50
// small plug-ins beside it, on a copy of the demo bench without a hex folder
// (no firmware question).
//
//   bench_startup [runs]        (default 15 runs of each, interleaved)

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <sys/resource.h>

namespace
{

const char idleLine[] = "idle";

struct Variant {
    const char* name;
    QString program;
    QList<double> toIdle;
    QList<double> teardown;
    QList<double> cpuTimes;
};

// User and system time of all children reaped so far, in milliseconds.
double childrenCpuMs()
{
    rusage usage {};
    getrusage(RUSAGE_CHILDREN, &usage);
    auto ms = [](const timeval& t) { return t.tv_sec * 1e3 + t.tv_usec / 1e3; };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
}

double median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    const int n = values.size();
    if (n == 0)
        return 0;
    return n % 2 ? values.at(n / 2) : (values.at(n / 2 - 1) + values.at(n / 2)) / 2;
}

// The value a quarter of the runs stay below. Other load on the machine only
// ever adds time, so the faster runs show the program's own cost more steadily.
double firstQuartile(QList<double> values)
{
    std::sort(values.begin(), values.end());
    return values.isEmpty() ? 0 : values.at((values.size() - 1) / 4);
}

bool install(const QString& folder, int plugins)
{
    if (!QDir().mkpath(folder + QStringLiteral("/bin")))
        return false;
    if (!QFile::link(QStringLiteral(KESTRIX_LIB_DIR), folder + QStringLiteral("/bin/lib")))
        return false;
    if (!QFile::copy(QStringLiteral(KESTRIX_STUDIO_EXE), folder + QStringLiteral("/bin/kestrix-studio")))
        return false;
    for (int i = 1; i <= plugins; ++i) {
        const QString name = QStringLiteral("/libbench_startup_plugin%1.so").arg(i);
        if (!QFile::copy(QStringLiteral(PLUGIN_DIR) + name, folder + QStringLiteral("/bin") + name))
            return false;
    }
    return true;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? qMax(1, atoi(argv[1])) : 15;

    QTemporaryDir temp;
    if (!temp.isValid() || !install(temp.filePath(QStringLiteral("plain")), 0)
        || !install(temp.filePath(QStringLiteral("plugins")), 50)
        || !QFile::copy(QStringLiteral(DEMO_BENCH), temp.filePath(QStringLiteral("bench.ini")))) {
        std::fprintf(stderr, "bench_startup: cannot prepare the installations in %s\n", qPrintable(temp.path()));
        return 1;
    }

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    const QString home = temp.filePath(QStringLiteral("home"));
    QDir().mkpath(home);
    environment.insert(QStringLiteral("HOME"), home);
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QStringLiteral("/.config"));
    environment.insert(QStringLiteral("XDG_DATA_HOME"), home + QStringLiteral("/.local/share"));
    environment.insert(QStringLiteral("KM4200_BENCH"), temp.filePath(QStringLiteral("bench.ini")));
    environment.insert(QStringLiteral("KESTRIX_QUIT_WHEN_IDLE"), QStringLiteral("1"));
    const QString runtime = temp.filePath(QStringLiteral("runtime"));
    QDir().mkpath(runtime);
    QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
    if (!environment.contains(QStringLiteral("QT_QPA_PLATFORM")))
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));

    Variant variants[] = {
        { "bare", QStringLiteral(BARE_EXE), {}, {}, {} },
        { "no_plugins", temp.filePath(QStringLiteral("plain/bin/kestrix-studio")), {}, {}, {} },
        { "50_plugins", temp.filePath(QStringLiteral("plugins/bin/kestrix-studio")), {}, {}, {} },
    };

    // One untimed round warms the file cache; then the variants take turns.
    for (int round = -1; round < runs; ++round) {
        for (Variant& variant : variants) {
            QProcess process;
            process.setProcessEnvironment(environment);
            process.setStandardErrorFile(QProcess::nullDevice());
            const double cpuBefore = childrenCpuMs();
            QElapsedTimer clock;
            clock.start();
            process.start(variant.program, QStringList());
            // Whole lines only: the marker may arrive in pieces.
            QByteArray output("\n");
            const QByteArray marker = QByteArray("\n") + idleLine + '\n';
            while (!output.contains(marker) && process.waitForReadyRead(60000))
                output += process.readAllStandardOutput();
            const double idleMs = clock.nsecsElapsed() / 1e6;
            const bool idle = output.contains(marker);
            const bool finished = process.waitForFinished(60000);
            const double endMs = clock.nsecsElapsed() / 1e6;
            if (!idle || !finished || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
                std::fprintf(stderr, "bench_startup: %s did not %s (%s)\n", variant.name,
                    idle ? "end cleanly" : "report idle", qPrintable(process.errorString()));
                process.kill();
                process.waitForFinished();
                return 1;
            }
            if (round >= 0) {
                variant.toIdle.append(idleMs);
                variant.teardown.append(endMs - idleMs);
                variant.cpuTimes.append(childrenCpuMs() - cpuBefore);
            }
        }
    }

    const double bare = median(variants[0].toIdle);
    const double plain = median(variants[1].toIdle);
    const double plugins = median(variants[2].toIdle);
    const double plainTeardown = median(variants[1].teardown);
    const double pluginsTeardown = median(variants[2].teardown);
    std::printf("runs: %d\n", runs);
    std::printf("bare_median_ms: %.1f\n", bare);
    std::printf("no_plugins_median_ms: %.1f\n", plain);
    std::printf("50_plugins_median_ms: %.1f\n", plugins);
    std::printf("ratio_no_plugins: %.2f (goal <= 1.3)\n", plain / bare);
    std::printf("ratio_50_plugins: %.2f (goal <= 1.5)\n", plugins / bare);
    const double bareQ1 = firstQuartile(variants[0].toIdle);
    std::printf("ratio_no_plugins_q1: %.2f\n", firstQuartile(variants[1].toIdle) / bareQ1);
    std::printf("ratio_50_plugins_q1: %.2f\n", firstQuartile(variants[2].toIdle) / bareQ1);
    // The slower of ours, with or without plug-ins.
    std::printf("teardown_median_ms: %.1f (goal <= 60)\n", qMax(plainTeardown, pluginsTeardown));
    std::printf("no_plugins_teardown_median_ms: %.1f\n", plainTeardown);
    std::printf("50_plugins_teardown_median_ms: %.1f\n", pluginsTeardown);
    std::printf("bare_teardown_median_ms: %.1f\n", median(variants[0].teardown));
    // CPU time of the whole processes, teardown included: steadier than wall
    // time on a busy machine.
    const double bareCpu = median(variants[0].cpuTimes);
    std::printf("bare_cpu_median_ms: %.1f\n", bareCpu);
    std::printf("no_plugins_cpu_median_ms: %.1f\n", median(variants[1].cpuTimes));
    std::printf("50_plugins_cpu_median_ms: %.1f\n", median(variants[2].cpuTimes));
    std::printf("cpu_ratio_no_plugins: %.2f\n", median(variants[1].cpuTimes) / bareCpu);
    std::printf("cpu_ratio_50_plugins: %.2f\n", median(variants[2].cpuTimes) / bareCpu);
    return 0;
}
