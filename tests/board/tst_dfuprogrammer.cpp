// The firmware tool as a real process: every exit path, and the firmware
// number it leaves on the bench.

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
        bench->write(HexWriter::write(firmware), "KestrixFirmware_12.hex");
        HexModel tooBig;
        tooBig.write(0x1DFF8, QByteArray(16, '\x02'));
        bench->write(HexWriter::write(tooBig), "big.hex");
        bench->write(":0200000061623A\n:00000001FF\n", "crc.hex");
    }
    void cleanup() { bench.reset(); }

    void exitPaths_data()
    {
        QTest::addColumn<QByteArray>("device"); // bench group of board 3, empty: no bench
        QTest::addColumn<QString>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("message");
        const QByteArray inBootloader = "type=4";
        const QString flash = "at90usb1287 flash ", fw = flash + "KestrixFirmware_12.hex";
        const QString noDevice = "dfu-programmer: no device present.";
        QTest::newRow("no arguments") << inBootloader << QString() << 2 << "Usage: dfu-programmer";
        QTest::newRow("unknown target") << inBootloader << "atmega8 flash x.hex" << 2 << "unknown target 'atmega8'";
        QTest::newRow("no bench") << QByteArray() << fw << 3 << noDevice;
        QTest::newRow("silent bootloader") << QByteArray("type=4\nbootloader=silent") << fw << 3 << noDevice;
        QTest::newRow("device before file") << QByteArray("type=1") << flash + "missing.hex" << 3 << noDevice;
        QTest::newRow("missing file") << inBootloader << flash + "missing.hex" << 4 << "Error opening missing.hex";
        QTest::newRow("bad checksum") << inBootloader << flash + "crc.hex" << 4 << "Error: Line 1 does not validate.";
        QTest::newRow("bootloader area") << inBootloader << flash + "big.hex" << 4 << "bootloader area from 0x1E000";
        QTest::newRow("flashed") << inBootloader << fw << 0 << "Programming 0x1010 bytes...";
    }

    void exitPaths()
    {
        QFETCH(QByteArray, device);
        QFETCH(QString, arguments);
        QFETCH(int, exitCode);
        QFETCH(QString, message);
        bench->write(
            header() + group("other", 1, "type=1\nfirmware=11") + group("board3", 3, device + "\nfirmware=11"));
        const QByteArray before = bench->read();

        QProcess tool;
        tool.setWorkingDirectory(bench->dir.path());
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove("KM4200_BENCH");
        if (!device.isEmpty())
            env.insert("KM4200_BENCH", bench->path());
        tool.setProcessEnvironment(env);
        tool.start(QStringLiteral(DFU_PROGRAMMER_PATH), arguments.split(' ', Qt::SkipEmptyParts));
        QVERIFY(tool.waitForFinished(20000));
        const QString err = QString::fromUtf8(tool.readAllStandardError());
        QCOMPARE(tool.exitCode(), exitCode);
        QVERIFY2(err.contains(message), qPrintable(err));
        QVERIFY(tool.readAllStandardOutput().isEmpty());
        // On success only the board that sits in its bootloader has the new firmware.
        const QByteArray flashed = QByteArray(before).replace("type=4\nfirmware=11", "type=4\nfirmware=12");
        QCOMPARE(bench->read(), exitCode == 0 ? flashed : before);
    }

private:
    std::unique_ptr<BenchFixture> bench;
};

QTEST_GUILESS_MAIN(TestDfuProgrammer)
#include "tst_dfuprogrammer.moc"
