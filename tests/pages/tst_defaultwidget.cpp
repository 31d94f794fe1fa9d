// The board overview page against the simulated bench and real files in a
// temporary hex folder.

#include "defaultwidget.h"
#include "pagefixture.h"
#include "testsupport.h"

#include <QButtonGroup>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>

using namespace PageFixture;

class TestDefaultWidget : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void newestNumber_data();
    void newestNumber();
    void upgradeButtons_data();
    void upgradeButtons();
    void noBoardsLabel_data();
    void noBoardsLabel();
    void labelFollowsFiles();
    void hexFolderCreatedLater();
    void boardUpdateAsksForFreshPage();

private:
    static QString firmwareLabel(QWidget* page);

    std::unique_ptr<Installation> install;
};

void TestDefaultWidget::initTestCase()
{
    TestSupport::enterTestMode();
}

void TestDefaultWidget::init()
{
    install = std::make_unique<Installation>();
    DefaultWidget::resetCurrentFirmwareIDForTesting();
}

void TestDefaultWidget::cleanup()
{
    install.reset();
}

QString TestDefaultWidget::firmwareLabel(QWidget* page)
{
    const QStringList texts = labelTexts(page);
    for (const QString& text : texts) {
        if (text.startsWith(QLatin1String("Latest motherboard firmware: ")))
            return text;
    }
    return QString();
}

void TestDefaultWidget::newestNumber_data()
{
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<quint32>("newest");

    QTest::newRow("numeric, not by text") << QStringList { "KestrixFirmware_7.hex", "KestrixFirmware_12.hex" } << 12u;
    QTest::newRow("zero-padded") << QStringList { "KestrixFirmware_0012.hex" } << 12u;
    QTest::newRow("capital extension counts 0")
        << QStringList { "KestrixFirmware_30.HEX", "KestrixFirmware_4.hex" } << 4u;
    QTest::newRow("prefix in other case counts 0")
        << QStringList { "kestrixfirmware_20.hex", "KestrixFirmware_3.hex" } << 3u;
    QTest::newRow("unparsable name cannot lower")
        << QStringList { "KestrixFirmware_beta.hex", "KestrixFirmware_9.hex" } << 9u;
    QTest::newRow("other files ignored") << QStringList { "KestrixFirmware_8.bin", "readme.txt" } << 0u;
    QTest::newRow("empty folder") << QStringList {} << 0u;
}

void TestDefaultWidget::newestNumber()
{
    QFETCH(QStringList, files);
    QFETCH(quint32, newest);
    for (const QString& name : files)
        install->addFirmware(name);
    install->openBench(motherboard(1, 5));

    DefaultWidget page(nullptr);
    QCOMPARE(DefaultWidget::currentFirmwareID(), newest);
    QCOMPARE(firmwareLabel(&page), QStringLiteral("Latest motherboard firmware: %1").arg(newest));
}

void TestDefaultWidget::upgradeButtons_data()
{
    QTest::addColumn<bool>("firstPage");
    QTest::addColumn<QList<bool>>("enabled");

    // Boards 1, 2, 3 run firmware 5, 6, 7; the newest file is 6.
    QTest::newRow("after the scan") << false << QList<bool> { true, false, false };
    QTest::newRow("first page, nothing scanned yet") << true << QList<bool> { false, false, false };
}

void TestDefaultWidget::upgradeButtons()
{
    QFETCH(bool, firstPage);
    QFETCH(QList<bool>, enabled);
    install->addFirmware("KestrixFirmware_6.hex");
    install->openBench(motherboard(1, 5) + motherboard(2, 6) + motherboard(3, 7));

    std::unique_ptr<DefaultWidget> page = std::make_unique<DefaultWidget>(nullptr);
    if (!firstPage)
        page = std::make_unique<DefaultWidget>(nullptr);
    QCOMPARE(DefaultWidget::currentFirmwareID(), 6u);

    auto* group = page->findChild<QButtonGroup*>();
    QVERIFY(group);
    QCOMPARE(group->buttons().size(), 3);
    for (int id = 1; id <= 3; ++id) {
        QAbstractButton* button = group->button(id);
        QVERIFY2(button, qPrintable(QString::number(id)));
        QCOMPARE(button->text(), QStringLiteral("Upgrade"));
        QCOMPARE(button->isEnabled(), enabled.at(id - 1));
    }
    const QStringList texts = labelTexts(page.get());
    QVERIFY(texts.contains("Board 1 - Firmware 5"));
    QVERIFY(texts.contains("Board 3 - Firmware 7"));
    const QList<QLabel*> labels = page->findChildren<QLabel*>();
    for (QLabel* label : labels) {
        if (label->text().startsWith("Board 2 -"))
            QVERIFY(label->toolTip().startsWith("Starts an external application"));
    }
}

void TestDefaultWidget::noBoardsLabel_data()
{
    QTest::addColumn<QString>("devices");
    QTest::addColumn<bool>("noBoardsShown");
    QTest::addColumn<int>("rows");

    QTest::newRow("empty bench") << QString() << true << 0;
    QTest::newRow("only a bootloader device") << QStringLiteral("[boot]\nid=7\ntype=4\n") << false << 0;
    QTest::newRow("one motherboard") << motherboard(1, 5) << false << 1;
}

void TestDefaultWidget::noBoardsLabel()
{
    QFETCH(QString, devices);
    QFETCH(bool, noBoardsShown);
    QFETCH(int, rows);
    install->openBench(devices);

    DefaultWidget page(nullptr);
    const QStringList texts = labelTexts(&page);
    QVERIFY(texts.contains("Boards connected:"));
    QCOMPARE(texts.contains("No boards connected"), noBoardsShown);
    QCOMPARE(page.findChildren<QPushButton*>().size(), rows);
}

void TestDefaultWidget::labelFollowsFiles()
{
    install->addFirmware("KestrixFirmware_4.hex");
    install->openBench(motherboard(1, 5));
    DefaultWidget page(nullptr);
    QCOMPARE(firmwareLabel(&page), QStringLiteral("Latest motherboard firmware: 4"));

    install->addFirmware("KestrixFirmware_11.hex");
    QTRY_COMPARE(firmwareLabel(&page), QStringLiteral("Latest motherboard firmware: 11"));
    QCOMPARE(DefaultWidget::currentFirmwareID(), 11u);

    QVERIFY(QFile::remove(install->hexPath() + "/KestrixFirmware_11.hex"));
    QTRY_COMPARE(firmwareLabel(&page), QStringLiteral("Latest motherboard firmware: 4"));

    // Buttons are not re-evaluated by a scan; only the label follows.
    QVERIFY(!page.findChild<QPushButton*>()->isEnabled());
}

void TestDefaultWidget::hexFolderCreatedLater()
{
    QVERIFY(QDir(install->hexPath()).removeRecursively());
    install->openBench(motherboard(1, 5));
    DefaultWidget page(nullptr);
    QCOMPARE(firmwareLabel(&page), QStringLiteral("Latest motherboard firmware: 0"));

    QVERIFY(QDir(install->path()).mkdir("hex"));
    install->addFirmware("KestrixFirmware_8.hex");
    QTRY_COMPARE(firmwareLabel(&page), QStringLiteral("Latest motherboard firmware: 8"));

    // Removing the folder again and bringing it back is noticed too.
    QVERIFY(QDir(install->hexPath()).removeRecursively());
    QTRY_COMPARE(firmwareLabel(&page), QStringLiteral("Latest motherboard firmware: 0"));
    QVERIFY(QDir(install->path()).mkdir("hex"));
    install->addFirmware("KestrixFirmware_9.hex");
    QTRY_COMPARE(firmwareLabel(&page), QStringLiteral("Latest motherboard firmware: 9"));
}

void TestDefaultWidget::boardUpdateAsksForFreshPage()
{
    install->openBench(motherboard(1, 5));
    PageArea window;
    window.show(new DefaultWidget(nullptr));
    QPointer<BaseWidget> first = window.current;

    // A board plugged in on the bench reaches the page, which is replaced.
    install->writeBench(motherboard(1, 5) + motherboard(2, 5));
    QTRY_VERIFY(first.isNull());
    QVERIFY(window.changes >= 1);
    QTRY_VERIFY(labelTexts(window.current).contains("Board 2 - Firmware 5"));

    // A page that has left the page area asks for nothing.
    DefaultWidget left(nullptr);
    QSignalSpy spy(&left, &BaseWidget::widgetChange);
    left.boardUpdate();
    QCOMPARE(spy.size(), 1);
    QCOMPARE(spy.at(0), (QVariantList { int(KestrixStudio::WidgetTypeDefault), 0, 0 }));
    left.leavePage();
    left.boardUpdate();
    QCOMPARE(spy.size(), 1);
}

QTEST_MAIN(TestDefaultWidget)
#include "tst_defaultwidget.moc"
