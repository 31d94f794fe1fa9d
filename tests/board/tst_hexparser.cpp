// The strict Intel HEX reader: valid files into models, every fault with
// its line number, and the writer's round trip.

#include "hexmodel.h"
#include "hexparser.h"
#include "hexparserfactory.h"
#include "hexwriter.h"
#include "testsupport.h"

#include <QTemporaryDir>

namespace
{

// One record with its checksum.
QByteArray rec(int type, quint16 offset, const QByteArray& data)
{
    QByteArray bytes;
    bytes.append(char(data.size()));
    bytes.append(char(offset >> 8));
    bytes.append(char(offset));
    bytes.append(char(type));
    bytes.append(data);
    unsigned sum = 0;
    for (char c : bytes)
        sum += quint8(c);
    bytes.append(char(0x100 - (sum & 0xff)));
    return ':' + bytes.toHex().toUpper() + '\n';
}

const QByteArray eof = ":00000001FF\n";

using Segments = QMap<quint32, QByteArray>;

} // namespace

Q_DECLARE_METATYPE(Segments)
Q_DECLARE_METATYPE(HexParser::Error)

class TestHexParser : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { TestSupport::enterTestMode(); }

    void validFiles_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<Segments>("segments");
        QTest::addColumn<qint64>("start"); // -1: none

        QTest::newRow("data") << rec(0, 0x10, "abcd") + eof << Segments { { 0x10, "abcd" } } << qint64(-1);
        QTest::newRow("crlf") << QByteArray(rec(0, 0, "ab") + eof).replace("\n", "\r\n") << Segments { { 0, "ab" } }
                              << qint64(-1);
        QTest::newRow("no final newline") << rec(0, 0, "ab") + eof.trimmed() << Segments { { 0, "ab" } } << qint64(-1);
        QTest::newRow("lower case") << rec(0, 0xABCD, "\xfe\xff").toLower() + eof << Segments { { 0xABCD, "\xfe\xff" } }
                                    << qint64(-1);
        QTest::newRow("empty lines") << "\n" + rec(0, 0, "a") + "\r\n" + eof + "\n\n"
                                     << Segments { { 0, "a" } } << qint64(-1);
        QTest::newRow("only eof") << eof << Segments {} << qint64(-1);
        QTest::newRow("runs merge") << rec(0, 4, "ef") + rec(0, 0, "abcd") + rec(0, 6, "gh") + rec(0, 2, "cd") + eof
                                    << Segments { { 0, "abcdefgh" } } << qint64(-1);
        QTest::newRow("gap keeps runs") << rec(0, 0, "ab") + rec(0, 3, "d") + eof
                                        << Segments { { 0, "ab" }, { 3, "d" } } << qint64(-1);
        QTest::newRow("linear base") << rec(4, 0, QByteArray("\x00\x02", 2)) + rec(0, 0x100, "xy") + eof
                                     << Segments { { 0x20100, "xy" } } << qint64(-1);
        QTest::newRow("segment base") << rec(2, 0, QByteArray("\x12\x00", 2)) + rec(0, 0x10, "xy") + eof
                                      << Segments { { 0x12010, "xy" } } << qint64(-1);
        QTest::newRow("segment wraps at 64K") << rec(2, 0, QByteArray("\x10\x00", 2)) + rec(0, 0xFFFE, "abcd") + eof
                                              << Segments { { 0x10000, "cd" }, { 0x1FFFE, "ab" } } << qint64(-1);
        QTest::newRow("linear wraps at 4G") << rec(4, 0, QByteArray("\xff\xff", 2)) + rec(0, 0xFFFE, "abcd") + eof
                                            << Segments { { 0, "cd" }, { 0xFFFFFFFE, "ab" } } << qint64(-1);
        QTest::newRow("linear after segment")
            << rec(2, 0, QByteArray("\x10\x00", 2)) + rec(4, 0, QByteArray("\x00\x01", 2)) + rec(0, 0, "z") + eof
            << Segments { { 0x10000, "z" } } << qint64(-1);
        QTest::newRow("start segment") << rec(0, 0, "a") + rec(3, 0, QByteArray("\x12\x34\x00\x10", 4)) + eof
                                       << Segments { { 0, "a" } } << qint64(0x12350);
        QTest::newRow("start linear") << rec(5, 0, QByteArray("\x08\x00\x01\x31", 4)) + eof << Segments {}
                                      << qint64(0x08000131);
        QTest::newRow("same byte twice") << rec(0, 0, "abc") + rec(0, 1, "bc") + eof << Segments { { 0, "abc" } }
                                         << qint64(-1);
        QTest::newRow("255 bytes") << rec(0, 0, QByteArray(255, 'q')) + eof << Segments { { 0, QByteArray(255, 'q') } }
                                   << qint64(-1);
    }

    void validFiles()
    {
        QFETCH(QByteArray, text);
        QFETCH(Segments, segments);
        QFETCH(qint64, start);
        HexModel model;
        model.write(0x500, "stale");
        HexParser parser;
        QVERIFY2(parser.parse(text, &model), qPrintable(parser.errorString()));
        QCOMPARE(parser.error(), HexParser::NoError);
        QCOMPARE(model.segments(), segments);
        QCOMPARE(model.hasStartAddress(), start >= 0);
        if (start >= 0)
            QCOMPARE(qint64(model.startAddress()), start);

        // What the writer makes of it reads back the same.
        HexModel again;
        QVERIFY(parser.parse(HexWriter::write(model, 7, true), &again));
        QVERIFY(again == model);
    }

    void faults_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<HexParser::Error>("error");
        QTest::addColumn<QString>("message");

        const QByteArray ok = rec(0, 0, "ab");
        QTest::newRow("missing start code")
            << ok + ok.mid(1) + eof << HexParser::MissingStartCode << "line 2: missing start code ':'";
        QTest::newRow("non-hex digit") << ok + ":0G00000000\n" + eof << HexParser::NonHexDigit
                                       << "line 2: 'G' is not a hex digit (column 3)";
        QTest::newRow("blank inside") << ":02000000 616263\n" + eof << HexParser::NonHexDigit
                                      << "line 1: byte 0x20 is not a hex digit (column 10)";
        QTest::newRow("odd digits") << ok + ok + ":0200000061626\n" + eof << HexParser::OddDigitCount
                                    << "line 3: odd number of hex digits (13)";
        QTest::newRow("too short") << ":0000\n" + eof << HexParser::LengthMismatch
                                   << "line 1: record too short (2 bytes)";
        QTest::newRow("count too high") << ":0300000061629A\n" + eof << HexParser::LengthMismatch
                                        << "line 1: byte count 0x03 does not match the 2 data bytes of the record";
        QTest::newRow("type length") << rec(4, 0, "abc") + eof << HexParser::LengthMismatch
                                     << "line 1: record type 0x04 needs 2 data bytes, found 3";
        QTest::newRow("eof with data") << ok + rec(1, 0, "a") << HexParser::LengthMismatch
                                       << "line 2: record type 0x01 needs 0 data bytes, found 1";
        QTest::newRow("bad checksum") << ok + ok + ":0200000061623A\n" + eof << HexParser::BadChecksum
                                      << "line 3: bad checksum (expected 0x3B, found 0x3A)";
        QTest::newRow("unknown type") << ok + rec(6, 0, "a") + eof << HexParser::UnknownRecordType
                                      << "line 2: unknown record type 0x06";
        QTest::newRow("missing eof") << ok + ok << HexParser::MissingEndOfFile << "line 3: missing end-of-file record";
        QTest::newRow("empty file") << QByteArray() << HexParser::MissingEndOfFile
                                    << "line 1: missing end-of-file record";
        QTest::newRow("data after eof") << ok + eof + "\n" + ok << HexParser::DataAfterEndOfFile
                                        << "line 4: data after the end-of-file record";
        QTest::newRow("conflict") << rec(4, 0, QByteArray("\x00\x01", 2)) + rec(0, 0x10, "abc") + rec(0, 0x11, "bX")
                + eof << HexParser::ConflictingData
                                  << "line 3: address 0x10012 already holds a different byte";
    }

    void faults()
    {
        QFETCH(QByteArray, text);
        QFETCH(HexParser::Error, error);
        QFETCH(QString, message);
        HexModel model;
        model.write(0, "stale");
        HexParser parser;
        QVERIFY(!parser.parse(text, &model));
        QCOMPARE(parser.error(), error);
        QCOMPARE(parser.errorString(), message);
        QCOMPARE(parser.errorLine(), message.section(QLatin1Char(' '), 1, 1).chopped(1).toInt());
        QVERIFY(model.isEmpty());
        QVERIFY(!model.hasStartAddress());
    }

    void factoryReadsFiles()
    {
        QTemporaryDir dir;
        const QString good = dir.filePath("good.hex");
        const QString bad = dir.filePath("bad.hex");
        {
            QFile f(good);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(rec(0, 0x20, "module") + eof);
            QFile b(bad);
            QVERIFY(b.open(QIODevice::WriteOnly));
            b.write(rec(0, 0x20, "module"));
        }
        HexModel model;
        QVERIFY(HexParserFactory::read(good, &model, HexParserFactory::FormatIntelHex));
        QCOMPARE(model.segments(), (Segments { { 0x20, "module" } }));
        QVERIFY(!HexParserFactory::read(good, &model, 2));
        QVERIFY(model.isEmpty());
        QVERIFY(!HexParserFactory::read(bad, &model, 1));
        QCOMPARE(HexParserFactory::lastError(), QStringLiteral("line 2: missing end-of-file record"));
        QVERIFY(!HexParserFactory::read(dir.filePath("none.hex"), &model, 1));
        QVERIFY(HexParserFactory::lastError().startsWith("cannot open"));
    }

    void modelWrites()
    {
        HexModel model;
        QVERIFY(model.write(10, "cd"));
        QVERIFY(model.write(14, "gh"));
        QVERIFY(model.write(8, "ab"));
        quint32 at = 0;
        QVERIFY(!model.write(9, "bXd", 3, &at));
        QCOMPARE(at, 10u);
        QCOMPARE(model.segments(), (Segments { { 8, "abcd" }, { 14, "gh" } }));
        QVERIFY(model.write(11, "defg"));
        QCOMPARE(model.segments(), (Segments { { 8, "abcdefgh" } }));
        QCOMPARE(model.byteCount(), 8);
        QCOMPARE(model.endAddress(), 16u);
    }
};

QTEST_GUILESS_MAIN(TestHexParser)
#include "tst_hexparser.moc"
