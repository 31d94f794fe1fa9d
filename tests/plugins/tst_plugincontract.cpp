#include "plugininfo.h"
#include "studiopluginprototype.h"
#include "testsupport.h"
#include "widgetsignalbridge.h"

#include <QMetaProperty>
#include <QSignalSpy>

// The relay exists before main() runs; grab it before the application does.
static WidgetSignalBridge* const bridgeBeforeMain = WidgetSignalBridge::instance();

class tst_PluginContract : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { TestSupport::enterTestMode(); }

    void bridgeIsOneObjectForTheWholeRun()
    {
        QVERIFY(bridgeBeforeMain);
        QCOMPARE(WidgetSignalBridge::instance(), bridgeBeforeMain);
        QVERIFY(!bridgeBeforeMain->parent());
    }

    void bridgeRelaysPageRequests()
    {
        WidgetSignalBridge* bridge = WidgetSignalBridge::instance();
        // The window connects by string signature.
        QSignalSpy changes(bridge, SIGNAL(widgetChange(int, int, int)));
        QSignalSpy starts(bridge, SIGNAL(startWidget(int)));
        bridge->changeWidget(5, 2, 0);
        bridge->requestStartWidget(3);
        bridge->requestStartWidget(4);
        QCOMPARE(changes.count(), 1);
        QCOMPARE(changes.at(0), (QVariantList { 5, 2, 0 }));
        QCOMPARE(starts.count(), 2);
        QCOMPARE(starts.last().at(0).toInt(), 4);
    }

    void interfaceIdentifier()
    {
        QCOMPARE(
            qobject_interface_iid<StudioPluginPrototype*>(), "arvenholtlabs.kestrixstudio.studiopluginprototype/1.2");
    }

    void pluginInfoDescription_data()
    {
        QTest::addColumn<quint32>("id");
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("major");
        QTest::addColumn<int>("minor");
        QTest::addColumn<quint32>("build");
        QTest::addColumn<QString>("description");
        QTest::newRow("plain") << 7u << "SPI" << 1 << 5 << 12u << "SPI ID: 7 Version: 1.5 Build: 12";
        QTest::newRow("no leading zeros")
            << 4000000000u << "Dongle tool" << 255 << 0 << 0u << "Dongle tool ID: 4000000000 Version: 255.0 Build: 0";
    }

    void pluginInfoDescription()
    {
        QFETCH(quint32, id);
        QFETCH(QString, name);
        QFETCH(int, major);
        QFETCH(int, minor);
        QFETCH(quint32, build);
        QFETCH(QString, description);
        PluginInfo info(id, name, quint8(major), quint8(minor), build, nullptr);
        QCOMPARE(info.description(), description);
        QCOMPARE(info.loader(), nullptr);
        QCOMPARE(info.property("majorVersion").toInt(), major);
        QCOMPARE(info.property("uniquePluginID").value<quint32>(), id);
    }

    void pluginInfoPropertiesAreReadOnly()
    {
        const QMetaObject* meta = &PluginInfo::staticMetaObject;
        const QStringList expected = { "uniquePluginID", "pluginName", "majorVersion", "minorVersion", "buildNumber" };
        QCOMPARE(meta->propertyCount() - meta->propertyOffset(), expected.size());
        for (int i = 0; i < expected.size(); ++i) {
            const QMetaProperty property = meta->property(meta->propertyOffset() + i);
            QCOMPARE(QString::fromLatin1(property.name()), expected.at(i));
            QVERIFY(property.isReadable());
            QVERIFY(!property.isWritable());
            QVERIFY(!property.hasNotifySignal());
            QVERIFY(property.isStored());
        }
        PluginInfo info(1, QStringLiteral("x"), 1, 0, 0, nullptr);
        QVERIFY(!info.setProperty("pluginName", QStringLiteral("y")));
        QCOMPARE(info.pluginName(), QStringLiteral("x"));
    }
};

QTEST_MAIN(tst_PluginContract)
#include "tst_plugincontract.moc"
