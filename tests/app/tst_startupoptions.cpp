#include "basewidget.h"
#include "startupoptions.h"

#include <QtTest>

class TestStartupOptions : public QObject
{
    Q_OBJECT

private slots:
    void parse_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("defaultSettings");
        QTest::addColumn<bool>("extraChips");
        const QString program = QStringLiteral("/opt/kestrix/kestrix-studio");
        QTest::newRow("default settings") << QStringList { program, "-defaultsettings" } << true << false;
        QTest::newRow("default settings mixed case") << QStringList { program, "-DefaultSETTINGS" } << true << false;
        QTest::newRow("default settings with suffix") << QStringList { program, "-defaultsettingsx" } << false << false;
        QTest::newRow("kt3901") << QStringList { program, "-KT3901Support" } << false << true;
        QTest::newRow("kt39") << QStringList { program, "-kt39SUPPORT" } << false << true;
        QTest::newRow("lumo") << QStringList { program, "-EnableLumo" } << false << true;
        QTest::newRow("lumo with suffix") << QStringList { program, "-enablelumo2" } << false << false;
        QTest::newRow("anywhere") << QStringList { program, "-x", "-kt3901support", "-y", "-defaultsettings" } << true
                                  << true;
        QTest::newRow("unknown arguments")
            << QStringList { program, "-h", "--spi", "-defaultsetting" } << false << false;
        QTest::newRow("program path that looks like an option") << QStringList { "-defaultsettings" } << true << false;
    }

    void parse()
    {
        QFETCH(QStringList, arguments);
        QFETCH(bool, defaultSettings);
        QFETCH(bool, extraChips);
        const StartupOptions options = StartupOptions::parse(arguments);
        QCOMPARE(options.defaultSettingsMode, defaultSettings);
        QCOMPARE(options.extraChipSupport, extraChips);
    }

    // Once switched on, nothing later in the run turns extra chips off again.
    void extraChipSupportOnlyTurnsOn()
    {
        QVERIFY(!BaseWidget::extraChipSupport);
        BaseWidget::setExtraChipSupport(false);
        QVERIFY(!BaseWidget::extraChipSupport);
        BaseWidget::setExtraChipSupport(true);
        BaseWidget::setExtraChipSupport(false);
        QVERIFY(BaseWidget::extraChipSupport);
    }
};

QTEST_GUILESS_MAIN(TestStartupOptions)
#include "tst_startupoptions.moc"
