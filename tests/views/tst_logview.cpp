#include "basewidget.h"
#include "logview.h"
#include "testsupport.h"

#include <QDateTime>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QtTest>

namespace
{

QStringList fileLines(const QString& fileName)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    return QString::fromLocal8Bit(file.readAll()).split(QLatin1Char('\n'));
}

const QRegularExpression headerPattern(QStringLiteral("^={5}(\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d)={6}$"));

int warnings = 0;
QtMessageHandler previousHandler = nullptr;

void countWarnings(QtMsgType type, const QMessageLogContext& context, const QString& text)
{
    if (type != QtDebugMsg && type != QtInfoMsg)
        ++warnings;
    previousHandler(type, context, text);
}

} // namespace

class TestLogView : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { TestSupport::enterTestMode(); }
    void init();
    void cleanup();

    void header();
    void message_data();
    void message();
    void messagesInOrder();
    void newestRowInView();
    void longRowsKeepTheirWidth();
    void twoConstructionsAppend();
    void missingFolder();

private:
    QTemporaryDir* dir = nullptr;
    QString logName;
};

void TestLogView::init()
{
    dir = new QTemporaryDir;
    QVERIFY(dir->isValid());
    logName = dir->filePath("log.txt");
}

void TestLogView::cleanup()
{
    delete dir;
}

void TestLogView::header()
{
    const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
    LogView view(logName, nullptr);
    const QStringList lines = fileLines(logName);

    QCOMPARE(lines.size(), 3); // empty line, header, end of file
    QCOMPARE(lines.at(0), QString());
    QCOMPARE(lines.at(1).size(), 30);
    const QRegularExpressionMatch match = headerPattern.match(lines.at(1));
    QVERIFY2(match.hasMatch(), qPrintable(lines.at(1)));
    const QDateTime stamp = QDateTime::fromString(match.captured(1), Qt::ISODate);
    QVERIFY(stamp >= before.addMSecs(-before.time().msec()));
    QVERIFY(stamp <= QDateTime::currentDateTime());
    QCOMPARE(view.count(), 0);
}

void TestLogView::message_data()
{
    QTest::addColumn<int>("level");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("line");
    QTest::addColumn<bool>("listed");

    QTest::newRow("debug") << 0 << "Board 3 found"
                           << "DEBUG: Board 3 found" << false;
    QTest::newRow("status") << 1 << "Programming done"
                            << "STATUS: Programming done" << true;
    QTest::newRow("error") << 2 << "Verify failed"
                           << "ERROR: Verify failed" << true;
    QTest::newRow("unknown high") << 7 << "odd"
                                  << ": odd" << true;
    QTest::newRow("negative") << -1 << "below"
                              << ": below" << false;
    QTest::newRow("empty debug") << 0 << ""
                                 << "DEBUG: " << false;
    QTest::newRow("empty status") << 1 << ""
                                  << "STATUS: " << true;
    QTest::newRow("empty error") << 2 << ""
                                 << "ERROR: " << true;
    QTest::newRow("placeholders kept") << 1 << "50%1 of %2"
                                       << "STATUS: 50%1 of %2" << true;
    QTest::newRow("non-ASCII") << 2 << "Modul übersprungen"
                               << "ERROR: Modul übersprungen" << true;
}

void TestLogView::message()
{
    QFETCH(int, level);
    QFETCH(QString, text);
    QFETCH(QString, line);
    QFETCH(bool, listed);

    LogView view(logName, nullptr);
    view.message(static_cast<KestrixStudio::LogLevel>(level), text);

    // Read while the view is alive: every line is flushed at once.
    const QStringList lines = fileLines(logName);
    QCOMPARE(lines.size(), 4);
    QCOMPARE(lines.at(2), line);
    QCOMPARE(lines.at(3), QString());

    QCOMPARE(view.count(), listed ? 1 : 0);
    if (listed) {
        QCOMPARE(view.item(0)->text(), text);
        QCOMPARE(view.currentRow(), 0);
    }
}

void TestLogView::messagesInOrder()
{
    LogView view(logName, nullptr);
    // Connected by string signature, as the main window wires its pages.
    BaseWidget page;
    QVERIFY(QObject::connect(&page, SIGNAL(logmessage(KestrixStudio::LogLevel, QString)), &view,
        SLOT(message(KestrixStudio::LogLevel, QString))));
    emit page.logmessage(KestrixStudio::LogStatus, "one");
    view.message(KestrixStudio::LogDebug, "two");
    view.message(KestrixStudio::LogError, "three");

    QCOMPARE(fileLines(logName).mid(2), (QStringList { "STATUS: one", "DEBUG: two", "ERROR: three", "" }));
    QCOMPARE(view.count(), 2);
    QCOMPARE(view.item(1)->text(), QString("three"));
    QCOMPARE(view.currentRow(), 1);
}

void TestLogView::newestRowInView()
{
    LogView view(logName, nullptr);
    view.resize(300, 120);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));

    for (int i = 0; i < 500; ++i)
        view.message(i % 2 ? KestrixStudio::LogStatus : KestrixStudio::LogDebug, QString("row %1").arg(i));
    QCOMPARE(view.count(), 250);
    QCOMPARE(view.currentRow(), 249);
    QTRY_VERIFY(view.viewport()->rect().contains(view.visualItemRect(view.item(249))));

    // The user scrolls up; the next message brings the newest row back.
    view.scrollToTop();
    QTRY_VERIFY(!view.viewport()->rect().intersects(view.visualItemRect(view.item(249))));
    view.message(KestrixStudio::LogError, "latest");
    QTRY_VERIFY(view.viewport()->rect().contains(view.visualItemRect(view.item(250))));
    QCOMPARE(view.currentItem()->text(), QString("latest"));
}

void TestLogView::longRowsKeepTheirWidth()
{
    LogView view(logName, nullptr);
    view.resize(200, 150);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));

    const QString longText = QString("Module 2 verified ").repeated(8);
    view.message(KestrixStudio::LogError, longText);
    view.message(KestrixStudio::LogStatus, "ok");
    const int needed = view.fontMetrics().horizontalAdvance(longText);
    QTRY_VERIFY(view.visualItemRect(view.item(0)).width() >= needed);
    QVERIFY(view.horizontalScrollBar()->maximum() > 0);
}

void TestLogView::twoConstructionsAppend()
{
    {
        LogView first(logName, nullptr);
        first.message(KestrixStudio::LogStatus, "first run");
    }
    {
        LogView second(logName, nullptr);
        second.message(KestrixStudio::LogStatus, "second run");
    }
    const QStringList lines = fileLines(logName);
    QCOMPARE(lines.size(), 7);
    QCOMPARE(lines.at(0), QString());
    QVERIFY(headerPattern.match(lines.at(1)).hasMatch());
    QCOMPARE(lines.at(2), QString("STATUS: first run"));
    QCOMPARE(lines.at(3), QString());
    QVERIFY(headerPattern.match(lines.at(4)).hasMatch());
    QCOMPARE(lines.at(5), QString("STATUS: second run"));
}

void TestLogView::missingFolder()
{
    const QString folder = dir->filePath("missing");
    const QString fileName = folder + "/log.txt";

    warnings = 0;
    previousHandler = qInstallMessageHandler(countWarnings);
    {
        LogView view(fileName, nullptr);
        view.message(KestrixStudio::LogError, "still listed");
        view.message(KestrixStudio::LogDebug, "goes nowhere");
        QCOMPARE(view.count(), 1);
        QCOMPARE(view.item(0)->text(), QString("still listed"));
    }
    qInstallMessageHandler(previousHandler);

    QCOMPARE(warnings, 0);
    QVERIFY(!QFileInfo::exists(folder));
    QVERIFY(!QFileInfo::exists(fileName));
}

QTEST_MAIN(TestLogView)
#include "tst_logview.moc"
