// Replays the fuzzer's seed corpus (and any files added to it) through the
// HEX reader with the fuzzer's own checks.

#include "hexfuzzcheck.h"
#include "testsupport.h"

#include <QDir>
#include <QFile>

class TestHexCorpus : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { TestSupport::enterTestMode(); }

    void replay_data()
    {
        QTest::addColumn<QString>("file");
        const QDir corpus(QStringLiteral(KESTRIX_FUZZ_CORPUS));
        const QStringList names = corpus.entryList(QDir::Files, QDir::Name);
        QVERIFY(names.size() >= 12);
        for (const QString& name : names)
            QTest::newRow(qPrintable(name)) << corpus.filePath(name);
    }

    void replay()
    {
        QFETCH(QString, file);
        QFile f(file);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray data = f.readAll();
        const QString problem = HexFuzz::check(data.constData(), data.size());
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
        // Every prefix too: truncated files are the commonest damage.
        for (int cut = 0; cut < data.size(); ++cut) {
            const QString p = HexFuzz::check(data.constData(), cut);
            QVERIFY2(p.isEmpty(), qPrintable(QStringLiteral("prefix %1: %2").arg(cut).arg(p)));
        }
    }
};

QTEST_GUILESS_MAIN(TestHexCorpus)
#include "tst_hexcorpus.moc"
