// The strict Intel HEX reader: valid files into models, every fault with
// its line number, and the writer's round trip; the fuzzer's seed corpus
// replayed with the fuzzer's own checks.

#include "hexfuzzcheck.h"
#include "hexparserfactory.h"
#include "testsupport.h"

#include <QDir>

#include <numeric>

namespace
{
// One record with its checksum.
QByteArray rec(int type, quint16 offset, const QByteArray& data)
{
    QByteArray bytes;
    bytes.append(char(data.size())).append(char(offset >> 8)).append(char(offset)).append(char(type)).append(data);
    const int sum = std::accumulate(bytes.begin(), bytes.end(), 0, [](int s, char c) { return s + quint8(c); });
    bytes.append(char(0x100 - (sum & 0xff)));
    return ':' + bytes.toHex().toUpper() + '\n';
}

const QByteArray eof = ":00000001FF\n";
using Segments = QMap<quint32, QByteArray>;
} // namespace

Q_DECLARE_METATYPE(Segments)

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
        const QByteArray ab = rec(0, 0, "ab");
        const QByteArray seg = rec(2, 0, QByteArray("\x10\x00", 2));
        const Segments abAt0 { { 0, "ab" } };
        QTest::newRow("crlf") << QByteArray(ab + eof).replace("\n", "\r\n") << abAt0 << -1LL;
        QTest::newRow("lower case, blank lines, no final newline")
            << "\n" + ab.toLower() + "\n" + eof.trimmed() << abAt0 << -1LL;
        QTest::newRow("runs merge, same byte twice")
            << rec(0, 4, "ef") + rec(0, 0, "abcd") + rec(0, 3, "de") + eof << Segments { { 0, "abcdef" } } << -1LL;
        QTest::newRow("segment wraps at 64K, start segment")
            << seg + rec(0, 0xFFFE, "abcd") + rec(3, 0, QByteArray("\x12\x34\x00\x10", 4)) + eof
            << Segments { { 0x10000, "cd" }, { 0x1FFFE, "ab" } } << 0x12350LL;
        QTest::newRow("linear wraps at 4G, start linear")
            << rec(4, 0, QByteArray("\xff\xff", 2)) + rec(0, 0xFFFE, "abcd")
                + rec(5, 0, QByteArray("\x08\x00\x01\x31", 4)) + eof
            << Segments { { 0, "cd" }, { 0xFFFFFFFE, "ab" } } << 0x08000131LL;
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
        QCOMPARE(model.segments(), segments);
        QCOMPARE(model.hasStartAddress() ? qint64(model.startAddress()) : -1LL, start);

        // What the writer makes of it reads back the same.
        HexModel again;
        QVERIFY(parser.parse(HexWriter::write(model, 7, true), &again));
        QVERIFY(again == model);
    }

    void faults_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("message");
        const QByteArray ok = rec(0, 0, "ab");
        QTest::newRow("missing start code") << ok + ok.mid(1) + eof << "line 2: missing start code ':'";
        QTest::newRow("non-hex digit") << ok + ":0G00000000\n" + eof << "line 2: 'G' is not a hex digit (column 3)";
        QTest::newRow("odd digits") << ok + ok + ":0200000061626\n" + eof << "line 3: odd number of hex digits (13)";
        QTest::newRow("count too high") << ":0300000061629A\n" + eof
                                        << "line 1: byte count 0x03 does not match the 2 data bytes of the record";
        QTest::newRow("type length") << ok + rec(1, 0, "a") << "line 2: record type 0x01 needs 0 data bytes, found 1";
        QTest::newRow("bad checksum") << ok + ok + ":0200000061623A\n" + eof
                                      << "line 3: bad checksum (expected 0x3B, found 0x3A)";
        QTest::newRow("unknown type") << ok + rec(6, 0, "a") + eof << "line 2: unknown record type 0x06";
        QTest::newRow("missing eof") << ok + ok << "line 3: missing end-of-file record";
        QTest::newRow("data after eof") << ok + eof + "\n" + ok << "line 4: data after the end-of-file record";
        QTest::newRow("conflict") << rec(4, 0, QByteArray("\x00\x01", 2)) + rec(0, 0x10, "abc") + rec(0, 0x11, "bX")
                + eof << "line 3: address 0x10012 already holds a different byte";
    }

    void faults()
    {
        QFETCH(QByteArray, text);
        QFETCH(QString, message);
        // What every rejection leaves behind is the corpus replay's check.
        HexModel model;
        HexParser parser;
        QVERIFY(!parser.parse(text, &model));
        QCOMPARE(parser.errorString(), message);
    }

    // Only Intel HEX is read; another format leaves the model empty and says so.
    void otherFormatRefused()
    {
        QTemporaryDir dir;
        QFile file(dir.filePath("image.hex"));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(rec(0, 0, "ab") + eof) > 0);
        file.close();
        HexModel model;
        model.write(0, "stale");
        QString error;
        QVERIFY(!HexParserFactory::read(file.fileName(), &model, HexParserFactory::FormatIntelHex + 1, &error));
        QCOMPARE(error, QString("unsupported file format 2"));
        QVERIFY(model.isEmpty());
        QVERIFY(HexParserFactory::read(file.fileName(), &model, HexParserFactory::FormatIntelHex));
    }

    void replay_data()
    {
        QTest::addColumn<QString>("file");
        const QDir corpus(QStringLiteral(KESTRIX_FUZZ_CORPUS));
        const QStringList names = corpus.entryList(QDir::Files, QDir::Name);
        QVERIFY(names.size() >= 12);
        for (const QString& name : names)
            QTest::newRow(qPrintable(name)) << corpus.filePath(name);
    }

    // The whole file and every prefix: truncated files are the commonest damage.
    void replay()
    {
        QFETCH(QString, file);
        QFile f(file);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray data = f.readAll();
        for (int cut = 0; cut <= data.size(); ++cut) {
            const QString problem = HexFuzz::check(data.constData(), cut);
            QVERIFY2(problem.isEmpty(), qPrintable(QStringLiteral("%1 bytes: %2").arg(cut).arg(problem)));
        }
    }
};

QTEST_GUILESS_MAIN(TestHexParser)
#include "tst_hexparser.moc"
