#include "logview.h"
#include "testsupport.h"

#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

class TestLogView : public QObject
{
    Q_OBJECT

    QScopedPointer<QTemporaryDir> dir;
    QString logName;

    QStringList fileLines() const
    {
        QFile file(logName);
        file.open(QIODevice::ReadOnly | QIODevice::Text);
        return QString::fromLocal8Bit(file.readAll()).split(QLatin1Char('\n'));
    }

private slots:
    void initTestCase() { TestSupport::enterTestMode(); }

    void init()
    {
        dir.reset(new QTemporaryDir);
        logName = dir->filePath("log.txt");
    }

    void message_data()
    {
        QTest::addColumn<int>("level");
        QTest::addColumn<QString>("line"); // the text follows the first ": "
        QTest::addColumn<QStringList>("rows");
        using L = QStringList;
        QTest::newRow("debug") << 0 << "DEBUG: Board 3 found" << L();
        QTest::newRow("status") << 1 << "STATUS: Programming done" << L { "Programming done" };
        QTest::newRow("error") << 2 << "ERROR: Verify failed" << L { "Verify failed" };
        QTest::newRow("unknown") << 7 << ": odd" << L { "odd" };
        QTest::newRow("empty status") << 1 << "STATUS: " << L { "" };
        QTest::newRow("placeholders") << 1 << "STATUS: 50%1 of %2" << L { "50%1 of %2" };
        QTest::newRow("non-ASCII") << 2 << "ERROR: Modul übersprungen" << L { "Modul übersprungen" };
        // Every line shows; the ones after the first are indented.
        QTest::newRow("lines") << 2 << "ERROR: Verify failed\nat 0x0040:\r\n\n  expected 00\n"
                               << L { "Verify failed", "    at 0x0040:", "    ", "      expected 00" };
        QTest::newRow("lines, debug") << 0 << "DEBUG: a\nb" << L();
    }

    void message()
    {
        QFETCH(int, level);
        QFETCH(QString, line);
        QFETCH(QStringList, rows);
        const QString text = line.section(": ", 1);
        LogView view(logName, nullptr);
        view.message(static_cast<KestrixStudio::LogLevel>(level), text);
        // Read while the view is alive: every line is flushed at once.
        QCOMPARE(fileLines().mid(2).join('\n'), QString(line).remove('\r') + '\n');
        QStringList shown;
        for (int i = 0; i < view.count(); ++i)
            shown << view.item(i)->text();
        QCOMPARE(shown, rows);
        QCOMPARE(view.currentRow(), view.count() - 1);
    }

    void twoConstructionsAppend()
    {
        for (const char* run : { "first", "second" })
            LogView(logName, nullptr).message(KestrixStudio::LogStatus, run);
        QStringList lines = fileLines();
        lines.replaceInStrings(QRegularExpression("^={5}\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d={6}$"), "header");
        QCOMPARE(lines, (QStringList { "", "header", "STATUS: first", "", "header", "STATUS: second", "" }));
    }

    // A log file that cannot be written: the list says which and why, first
    // or when it happens, once; messages keep coming to the list.
    void unwritable_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("missing folder") << "missing/log.txt";
        QTest::newRow("path is a folder") << "folder";
        QTest::newRow("file where the folder should be") << "file/log.txt";
        QTest::newRow("disk full") << "/dev/full";
    }

    void unwritable()
    {
        QFETCH(QString, name);
        QVERIFY(QDir(dir->path()).mkdir("folder") && QFile(dir->filePath("file")).open(QIODevice::WriteOnly));
        const QString path = dir->filePath(name);
        LogView view(path, nullptr);
        view.message(KestrixStudio::LogError, "still listed");
        view.message(KestrixStudio::LogDebug, "goes nowhere");
        view.message(KestrixStudio::LogStatus, "listed too");
        QCOMPARE(view.count(), 3);
        const QString said = view.item(0)->text();
        QVERIFY2(said.startsWith(QString("The log file %1 cannot be written: ").arg(path)) && !said.endsWith(": "),
            qPrintable(said));
        QCOMPARE(view.item(2)->text(), QStringLiteral("listed too"));
        QVERIFY(!QFileInfo::exists(dir->filePath("missing")));
    }
};

QTEST_MAIN(TestLogView)
#include "tst_logview.moc"
