#include "testsupport.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

// The real executable without a display (no DISPLAY, WAYLAND_DISPLAY or
// QT_QPA_PLATFORM), as in an SSH session: jobs run, the window says it needs one.
class TestHeadless : public QObject
{
    Q_OBJECT
    QTemporaryDir home;

private slots:
    void initTestCase() { TestSupport::enterTestMode(); }

    void run_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("output");
        QTest::addColumn<QString>("message");
        QTest::newRow("-h") << QStringList { "-h" } << 0 << "-program <file>"
                            << "";
        QTest::newRow("--help") << QStringList { "--help" } << 0 << "-updatefirmware"
                                << "";
        QTest::newRow("--version") << QStringList { "--version" } << 0 << "Kestrix Studio 1.21.1.3\n"
                                   << "";
        QTest::newRow("a job") << QStringList { "-updatefirmware", "-json" } << 2 << R"({"message":)"
                               << "";
        QTest::newRow("the window")
            << QStringList() << 2 << ""
            << "Kestrix Studio needs a display to open its window; command-line jobs are listed by -h\n";
    }
    void run()
    {
        QFETCH(QStringList, arguments);
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char* name : { "DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "KM4200_BENCH" })
            environment.remove(name);
        environment.insert("HOME", home.path());
        environment.insert("XDG_CONFIG_HOME", home.filePath("config"));
        environment.insert("XDG_DATA_HOME", home.filePath("data"));
        process.setProcessEnvironment(environment);
        process.start(QStringLiteral(KESTRIX_STUDIO_EXE), arguments);
        QVERIFY(process.waitForFinished(30000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QTEST(process.exitCode(), "status");
        const QString out = QString::fromLocal8Bit(process.readAllStandardOutput());
        QFETCH(QString, output);
        QVERIFY2(out.contains(output) && (!output.endsWith('\n') || out == output), qPrintable(out));
        QFETCH(QString, message);
        const QString err = QString::fromLocal8Bit(process.readAllStandardError());
        QVERIFY2(message.isEmpty() || err.endsWith(message), qPrintable(err));
    }
};

QTEST_GUILESS_MAIN(TestHeadless)
#include "tst_headless.moc"
