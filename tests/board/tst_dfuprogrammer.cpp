// The firmware tool as a real process: every exit path, and the firmware
// number it leaves on the bench.

#include "benchfile.h"
#include "benchfixture.h"
#include "hexmodel.h"
#include "hexwriter.h"
#include "testsupport.h"

#include <QProcess>

class TestDfuProgrammer : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { TestSupport::enterTestMode(); }
    void init()
    {
        bench = std::make_unique<BenchFixture>();
        HexModel firmware;
        firmware.write(0, QByteArray(0x1000, '\x5a'));
        firmware.write(0x1DFF0, QByteArray(16, '\x01'));
        writeFile("KestrixFirmware_12.hex", HexWriter::write(firmware));
        HexModel tooBig;
        tooBig.write(0x1DFF8, QByteArray(16, '\x02'));
        writeFile("KestrixFirmware_13.hex", HexWriter::write(tooBig));
        writeFile("KestrixFirmware_14.hex", ":0200000061623A\n:00000001FF\n");
        writeFile("KestrixFirmware_15.hex", ":00000001FF\n:0200000061623B\n");
        writeFile("KestrixFirmware_16.hex", ":0100000061\n:00000001FF\n");
    }
    void cleanup() { bench.reset(); }

    void exitPaths_data()
    {
        QTest::addColumn<QString>("device"); // bench group of board 3, empty: no bench
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("message");

        const QString bootloader = QStringLiteral("type=4");
        const QStringList flash { "at90usb1287", "flash" };
        QTest::newRow("no arguments") << bootloader << QStringList() << 2 << "Usage: dfu-programmer";
        QTest::newRow("unknown target") << bootloader << QStringList { "atmega8", "flash", "KestrixFirmware_12.hex" }
                                        << 2 << "unknown target 'atmega8'";
        QTest::newRow("unknown command") << bootloader << QStringList { "at90usb1287", "dump" } << 2
                                         << "unknown command 'dump'";
        QTest::newRow("no file") << bootloader << flash << 2 << "flash needs a HEX file";
        QTest::newRow("no bench") << QString() << flash + QStringList { "KestrixFirmware_12.hex" } << 3
                                  << "dfu-programmer: no device present.";
        QTest::newRow("board running") << "type=1" << flash + QStringList { "KestrixFirmware_12.hex" } << 3
                                       << "dfu-programmer: no device present.";
        QTest::newRow("silent bootloader")
            << "type=4\nbootloader=silent" << flash + QStringList { "KestrixFirmware_12.hex" } << 3
            << "dfu-programmer: no device present.";
        QTest::newRow("other controller")
            << bootloader << QStringList { "atmega32u4", "flash", "KestrixFirmware_12.hex" } << 3
            << "dfu-programmer: no device present.";
        QTest::newRow("device before file")
            << "type=1" << flash + QStringList { "missing.hex" } << 3 << "dfu-programmer: no device present.";
        QTest::newRow("missing file") << bootloader << flash + QStringList { "missing.hex" } << 4
                                      << "Error opening missing.hex";
        QTest::newRow("bad checksum") << bootloader << flash + QStringList { "KestrixFirmware_14.hex" } << 4
                                      << "Error: Line 1 does not validate.";
        QTest::newRow("data after end") << bootloader << flash + QStringList { "KestrixFirmware_15.hex" } << 4
                                        << "Error reading line 2.";
        QTest::newRow("length") << bootloader << flash + QStringList { "KestrixFirmware_16.hex" } << 4
                                << "Error reading line 1.";
        QTest::newRow("bootloader area") << bootloader << flash + QStringList { "KestrixFirmware_13.hex" } << 4
                                         << "bootloader area from 0x1E000";
        QTest::newRow("flashed") << bootloader << flash + QStringList { "KestrixFirmware_12.hex" } << 0
                                 << "Programming 0x1010 bytes...";
    }

    void exitPaths()
    {
        QFETCH(QString, device);
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QString, message);
        bench->write(BenchFixture::header() + BenchFixture::board("other", 1, "type=1\nfirmware=11")
            + BenchFixture::board("board3", 3, device + "\nfirmware=11"));
        const QByteArray before = bench->read();

        const auto [code, err, out] = runTool(arguments, device.isEmpty() ? QString() : bench->path());
        QCOMPARE(code, exitCode);
        QVERIFY2(err.contains(message), qPrintable(err));
        QVERIFY(out.isEmpty());
        if (exitCode == 0) {
            QVERIFY(err.contains("Validating...  Success"));
            // The board that sits in its bootloader now has firmware 12.
            BenchFile after;
            QVERIFY(after.load(bench->path()));
            QCOMPARE(after.deviceById(3)->firmware, quint16(12));
            QCOMPARE(after.deviceById(1)->firmware, quint16(11));
        } else {
            QCOMPARE(bench->read(), before);
        }
    }

    void helpAndVersion()
    {
        QCOMPARE(std::get<0>(runTool({ "--help" }, QString())), 0);
        QCOMPARE(std::get<0>(runTool({ "--version" }, QString())), 0);
    }

private:
    std::tuple<int, QString, QByteArray> runTool(const QStringList& arguments, const QString& benchPath)
    {
        QProcess tool;
        tool.setWorkingDirectory(bench->folder());
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove("KM4200_BENCH");
        if (!benchPath.isEmpty())
            env.insert("KM4200_BENCH", benchPath);
        tool.setProcessEnvironment(env);
        tool.start(QStringLiteral(DFU_PROGRAMMER_PATH), arguments);
        if (!tool.waitForFinished(20000))
            return { -1, QStringLiteral("did not finish"), QByteArray() };
        return { tool.exitCode(), QString::fromUtf8(tool.readAllStandardError()), tool.readAllStandardOutput() };
    }

    void writeFile(const QString& name, const QByteArray& content)
    {
        QFile file(bench->folder() + QLatin1Char('/') + name);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
    }

    std::unique_ptr<BenchFixture> bench;
};

QTEST_GUILESS_MAIN(TestDfuProgrammer)
#include "tst_dfuprogrammer.moc"
