#include "kestrixstudio.h"

#include <QMetaEnum>
#include <QtTest>

// Plug-ins built against older headers pass these values across the
// library boundary: a reordered or renumbered key breaks them silently.
class TestEnumerations : public QObject
{
    Q_OBJECT

private slots:
    void values_data()
    {
        QTest::addColumn<QString>("keys"); // numbered from `first` up
        QTest::addColumn<int>("first");
        QTest::newRow("LogLevel") << "LogDebug LogStatus LogError" << 0;
        QTest::newRow("WidgetType") << "WidgetTypeBoard WidgetTypeFlash WidgetTypeTest WidgetTypeSPI "
                                       "WidgetTypeDefault WidgetTypeDefaultSettings WidgetTypeBootloader "
                                       "WidgetTypeUSBDemo WidgetTypeCommunicationTest WidgetTypeSPITest WidgetTypeSTI "
                                       "WidgetTypeDispatcher WidgetTypeProductionTest WidgetTypeEncryptedHexConverter "
                                       "WidgetTypeGattSetup WidgetTypeTranslator"
                                    << 1;
        QTest::newRow("WidgetView") << "WidgetHide WidgetRootWithVisibleChildren WidgetRootWithoutVisibleChildren "
                                       "WidgetEnable WidgetShow"
                                    << 0;
        QTest::newRow("HelpCategory") << "RegularContent CommandLineContent ReleaseInformation" << 0;
        QTest::newRow("CommandlineProcessing")
            << "ContinueProcessingCommandline EndProcessingCommandline NoOptionsProcessedInCommandline" << 0;
        QTest::newRow("Features") << "FeatureNoFeatures FeatureInternalDeviceMenu FeatureInternalFeatureMenu" << 0;
    }

    void values()
    {
        QFETCH(QString, keys);
        QFETCH(int, first);
        const QMetaObject& meta = KestrixStudio::staticMetaObject;
        const QMetaEnum e = meta.enumerator(meta.indexOfEnumerator(QTest::currentDataTag()));
        const QStringList names = keys.split(' ');
        QCOMPARE(e.keyCount(), names.size());
        for (int i = 0; i < names.size(); ++i)
            QCOMPARE(e.keyToValue(qPrintable(names.at(i))), first + i);
        QCOMPARE(e.isFlag(), QTest::currentDataTag() == QByteArray("Features"));
    }
};

QTEST_GUILESS_MAIN(TestEnumerations)
#include "tst_enumerations.moc"
