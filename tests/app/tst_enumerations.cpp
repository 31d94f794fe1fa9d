#include "kestrixstudio.h"

#include <QMetaEnum>
#include <QtTest>

namespace {

// Receivers whose slots spell the level type differently; only the exact
// spelling may connect by string signature.
class Sender : public QObject
{
    Q_OBJECT
signals:
    void logmessage(KestrixStudio::LogLevel level, QString message);
};

class Receiver : public QObject
{
    Q_OBJECT
public slots:
    void message(KestrixStudio::LogLevel level, QString message)
    {
        lastLevel = level;
        lastMessage = message;
    }
    void other(int level, QString message) { lastMessage = message + QString::number(level); }

public:
    KestrixStudio::LogLevel lastLevel = KestrixStudio::LogDebug;
    QString lastMessage;
};

} // namespace

class TestEnumerations : public QObject
{
    Q_OBJECT

private slots:
    void enumerations_data();
    void enumerations();
    void featuresAreFlags();
    void connectionBySignature();
};

void TestEnumerations::enumerations_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QStringList>("keys");
    QTest::addColumn<QList<int>>("values");

    QTest::newRow("LogLevel") << 0 << "LogLevel" << QStringList{"LogDebug", "LogStatus", "LogError"}
                              << QList<int>{0, 1, 2};
    QTest::newRow("WidgetType")
        << 1 << "WidgetType"
        << QStringList{"WidgetTypeBoard", "WidgetTypeFlash", "WidgetTypeTest", "WidgetTypeSPI",
                       "WidgetTypeDefault", "WidgetTypeDefaultSettings", "WidgetTypeBootloader",
                       "WidgetTypeUSBDemo", "WidgetTypeCommunicationTest", "WidgetTypeSPITest", "WidgetTypeSTI",
                       "WidgetTypeDispatcher", "WidgetTypeProductionTest", "WidgetTypeEncryptedHexConverter",
                       "WidgetTypeGattSetup", "WidgetTypeTranslator"}
        << QList<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    QTest::newRow("WidgetView") << 2 << "WidgetView"
                                << QStringList{"WidgetHide", "WidgetRootWithVisibleChildren",
                                               "WidgetRootWithoutVisibleChildren", "WidgetEnable", "WidgetShow"}
                                << QList<int>{0, 1, 2, 3, 4};
    QTest::newRow("HelpCategory") << 3 << "HelpCategory"
                                  << QStringList{"RegularContent", "CommandLineContent", "ReleaseInformation"}
                                  << QList<int>{0, 1, 2};
    QTest::newRow("CommandlineProcessing")
        << 4 << "CommandlineProcessing"
        << QStringList{"ContinueProcessingCommandline", "EndProcessingCommandline",
                       "NoOptionsProcessedInCommandline"}
        << QList<int>{0, 1, 2};
    QTest::newRow("Feature") << 5 << "Feature"
                             << QStringList{"FeatureNoFeatures", "FeatureInternalDeviceMenu",
                                            "FeatureInternalFeatureMenu"}
                             << QList<int>{0, 1, 2};
    QTest::newRow("Features") << 6 << "Features"
                              << QStringList{"FeatureNoFeatures", "FeatureInternalDeviceMenu",
                                             "FeatureInternalFeatureMenu"}
                              << QList<int>{0, 1, 2};
}

void TestEnumerations::enumerations()
{
    QFETCH(int, index);
    QFETCH(QString, name);
    QFETCH(QStringList, keys);
    QFETCH(QList<int>, values);

    const QMetaObject& meta = KestrixStudio::staticMetaObject;
    QCOMPARE(meta.enumeratorCount(), 7);
    const QMetaEnum e = meta.enumerator(index);
    QCOMPARE(QString::fromLatin1(e.name()), name);
    QCOMPARE(e.keyCount(), keys.size());
    for (int i = 0; i < keys.size(); ++i) {
        QCOMPARE(QString::fromLatin1(e.key(i)), keys.at(i));
        QCOMPARE(e.value(i), values.at(i));
    }
}

void TestEnumerations::featuresAreFlags()
{
    const QMetaObject& meta = KestrixStudio::staticMetaObject;
    QVERIFY(meta.enumerator(5).isFlag());
    QVERIFY(meta.enumerator(6).isFlag());
    KestrixStudio::Features both = KestrixStudio::FeatureInternalDeviceMenu;
    both |= KestrixStudio::FeatureInternalFeatureMenu;
    QCOMPARE(int(both), 3);
    QCOMPARE(QMetaEnum::fromType<KestrixStudio::Features>().valueToKeys(int(both)),
             QByteArray("FeatureInternalDeviceMenu|FeatureInternalFeatureMenu"));
}

void TestEnumerations::connectionBySignature()
{
    Sender sender;
    Receiver receiver;
    QVERIFY(QObject::connect(&sender, SIGNAL(logmessage(KestrixStudio::LogLevel,QString)), &receiver,
                             SLOT(message(KestrixStudio::LogLevel,QString))));
    emit sender.logmessage(KestrixStudio::LogError, QStringLiteral("boom"));
    QCOMPARE(receiver.lastLevel, KestrixStudio::LogError);
    QCOMPARE(receiver.lastMessage, QStringLiteral("boom"));

    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("QObject::connect: Incompatible sender/receiver arguments.*"));
    QVERIFY(!QObject::connect(&sender, SIGNAL(logmessage(KestrixStudio::LogLevel,QString)), &receiver,
                              SLOT(other(int,QString))));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("QObject::connect: No such signal.*"));
    QVERIFY(!QObject::connect(&sender, SIGNAL(logmessage(LogLevel,QString)), &receiver,
                              SLOT(message(KestrixStudio::LogLevel,QString))));
}

QTEST_GUILESS_MAIN(TestEnumerations)
#include "tst_enumerations.moc"
