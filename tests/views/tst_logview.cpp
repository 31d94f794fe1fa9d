#include "basewidget.h"
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
        QTest::addColumn<bool>("listed");
        QTest::newRow("debug") << 0 << "DEBUG: Board 3 found" << false;
        QTest::newRow("status") << 1 << "STATUS: Programming done" << true;
        QTest::newRow("error") << 2 << "ERROR: Verify failed" << true;
        QTest::newRow("unknown") << 7 << ": odd" << true;
        QTest::newRow("negative") << -1 << ": below" << false;
        QTest::newRow("empty debug") << 0 << "DEBUG: " << false;
        QTest::newRow("empty status") << 1 << "STATUS: " << true;
        QTest::newRow("placeholders") << 1 << "STATUS: 50%1 of %2" << true;
        QTest::newRow("non-ASCII") << 2 << "ERROR: Modul übersprungen" << true;
    }

    void message()
    {
        QFETCH(int, level);
        QFETCH(QString, line);
        QFETCH(bool, listed);
        const QString text = line.section(": ", 1);
        LogView view(logName, nullptr);
        view.message(static_cast<KestrixStudio::LogLevel>(level), text);
        // Read while the view is alive: every line is flushed at once.
        QCOMPARE(fileLines().mid(2), (QStringList { line, "" }));
        QCOMPARE(view.count(), listed ? 1 : 0);
        QCOMPARE(view.currentRow(), view.count() - 1);
        if (listed)
            QCOMPARE(view.item(0)->text(), text);
    }

    void twoConstructionsAppend()
    {
        for (const char* run : { "first", "second" }) {
            LogView view(logName, nullptr);
            BaseWidget page; // pages reach the log by string signature
            QVERIFY(QObject::connect(&page, SIGNAL(logmessage(KestrixStudio::LogLevel, QString)), &view,
                SLOT(message(KestrixStudio::LogLevel, QString))));
            emit page.logmessage(KestrixStudio::LogStatus, run);
        }
        QStringList lines = fileLines();
        lines.replaceInStrings(QRegularExpression("^={5}\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d={6}$"), "header");
        QCOMPARE(lines, (QStringList { "", "header", "STATUS: first", "", "header", "STATUS: second", "" }));
    }

    void missingFolder()
    {
        static int warnings = 0;
        const QtMessageHandler previous
            = qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString&) {
                  warnings += type != QtDebugMsg && type != QtInfoMsg;
              });
        {
            LogView view(dir->filePath("missing/log.txt"), nullptr);
            view.message(KestrixStudio::LogError, "still listed");
            view.message(KestrixStudio::LogDebug, "goes nowhere");
        }
        qInstallMessageHandler(previous);
        QCOMPARE(warnings, 0);
        QVERIFY(!QFileInfo::exists(dir->filePath("missing")));
    }
};

QTEST_MAIN(TestLogView)
#include "tst_logview.moc"
