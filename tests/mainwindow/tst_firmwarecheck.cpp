#include "connectable.h"
#include "connectionmanager.h"
#include "defaultwidget.h"
#include "windowfixture.h"

using namespace WindowFixture;

namespace
{

QString question(int board)
{
    return QStringLiteral("The firmware on board %1 is older than the current version. It should be updated to "
                          "assure correct functionality.\r\nDo this by pressing the OK button")
        .arg(board);
}

ConnectionManager* manager()
{
    return ConnectionManager::Instance();
}

} // namespace

// The check the window runs when it is shown and when the boards change: the
// newest firmware file is 6; boards run older, equal or newer firmware.
class tst_FirmwareCheck : public QObject
{
    Q_OBJECT

    Environment env;
    KM4200* window = nullptr;

    void start(const QString& devices)
    {
        env.writeBench(devices);
        window = new KM4200(KM4200::ModeNormal);
        window->show();
    }

    bool updateStarted(int board) const
    {
        return logRows(window).contains(QStringLiteral("Starting bootloader on board %1").arg(board));
    }

private slots:
    void initTestCase()
    {
        QVERIFY(env.root.isValid());
        env.enter();
    }

    void init()
    {
        env.forgetRuns();
        env.setFirmware(6);
        DefaultWidget::resetCurrentFirmwareIDForTesting();
    }

    void cleanup()
    {
        delete window;
        window = nullptr;
        WidgetFactory::unloadPlugins();
    }

    void oneOutdatedBoard_data()
    {
        QTest::addColumn<int>("answer");
        QTest::newRow("OK") << int(QMessageBox::Ok);
        QTest::newRow("Cancel") << int(QMessageBox::Cancel);
    }

    void oneOutdatedBoard()
    {
        QFETCH(int, answer);
        BoxAnswers boxes({ QMessageBox::StandardButton(answer) });
        start(motherboard(1, 5));
        QPointer<BaseWidget> first = page(window);
        QVERIFY(qobject_cast<DefaultWidget*>(first));

        QTRY_COMPARE(boxes.texts, QStringList({ question(1) }));
        QCOMPARE(boxes.titles.first(), QStringLiteral("Upgrade firmware"));
        QCOMPARE(boxes.icons.first(), QMessageBox::Warning);
        if (answer == QMessageBox::Ok) {
            // The update runs on a fresh overview page.
            QTRY_VERIFY(updateStarted(1));
            QTRY_VERIFY(first.isNull());
            QVERIFY(qobject_cast<DefaultWidget*>(page(window)));
        } else {
            QTest::qWait(50);
            QCOMPARE(page(window), first.data());
            QVERIFY(!updateStarted(1));
        }
    }

    void sameBoardNotAskedAgain()
    {
        BoxAnswers boxes({ QMessageBox::Cancel });
        start(motherboard(1, 5));
        QTRY_COMPARE(boxes.texts.size(), 1);
        QVERIFY(manager()->getBoardByID(1)->firmwareChecked);

        manager()->update();
        window->hide();
        window->show();
        QTest::qWait(100);
        QCOMPARE(boxes.texts.size(), 1);
    }

    void upToDateBoardFlaggedSilently_data()
    {
        QTest::addColumn<int>("firmware");
        QTest::newRow("equal") << 6;
        QTest::newRow("newer") << 7;
    }

    void upToDateBoardFlaggedSilently()
    {
        QFETCH(int, firmware);
        BoxAnswers boxes;
        start(motherboard(1, firmware));
        QTRY_VERIFY(manager()->getBoardByID(1)->firmwareChecked);
        QTest::qWait(50);
        QVERIFY(boxes.texts.isEmpty());
    }

    void noFirmwareFileNoCheck()
    {
        env.setFirmware(0);
        BoxAnswers boxes;
        start(motherboard(1, 5));
        QTest::qWait(100);
        QVERIFY(boxes.texts.isEmpty());
        QVERIFY(!manager()->getBoardByID(1)->firmwareChecked);
    }

    void twoOutdatedBoards_data()
    {
        QTest::addColumn<int>("answer");
        QTest::addColumn<QStringList>("firstCheck");
        QTest::newRow("OK: the second waits") << int(QMessageBox::Ok) << QStringList({ question(1) });
        QTest::newRow("Cancel: the second at once")
            << int(QMessageBox::Cancel) << QStringList({ question(1), question(2) });
    }

    void twoOutdatedBoards()
    {
        QFETCH(int, answer);
        QFETCH(QStringList, firstCheck);
        BoxAnswers boxes({ QMessageBox::StandardButton(answer), QMessageBox::Cancel });
        start(motherboard(1, 5) + motherboard(2, 4));
        QTRY_COMPARE(boxes.texts, firstCheck);
        QCOMPARE(updateStarted(1), answer == QMessageBox::Ok);

        // The next board-list update asks for the board not reached.
        manager()->update();
        QTest::qWait(50);
        QCOMPARE(boxes.texts, QStringList({ question(1), question(2) }));
    }

    void noSecondBoxWhileOneIsOpen()
    {
        // While the first question is open the boards change; the check that
        // this triggers finds the guard down and is not remembered.
        BoxAnswers boxes(
            { QMessageBox::Ok }, [] { QTimer::singleShot(0, manager(), &ConnectionManager::update); }, 200);
        start(motherboard(1, 5) + motherboard(2, 4));
        QTRY_VERIFY(updateStarted(1));
        QCOMPARE(boxes.nested, 0);
        QCOMPARE(boxes.texts.first(), question(1));
        QVERIFY(!manager()->getBoardByID(2)->firmwareChecked);
    }

    void boardIdShownModulo256()
    {
        // Board 257 is outdated; its low byte names board 1, which gets the update.
        BoxAnswers boxes({ QMessageBox::Ok });
        start(motherboard(1, 6) + motherboard(257, 5));
        QTRY_COMPARE(boxes.texts, QStringList({ question(1) }));
        QTRY_VERIFY(updateStarted(1));
    }
};

QTEST_MAIN(tst_FirmwareCheck)
#include "tst_firmwarecheck.moc"
