#include "statuscolors.h"
#include "testsupport.h"

#include <QApplication>
#include <QStyle>
#include <QStyleFactory>
#include <QtTest>

// Status colours stay readable (WCAG 4.5:1) on Qt's default light palette and
// on a dark Fusion palette, against the window and the table cells alike.
class TestContrast : public QObject
{
    Q_OBJECT

    static QPalette dark()
    {
        QPalette palette;
        palette.setColor(QPalette::Window, QColor(0x35, 0x35, 0x35));
        palette.setColor(QPalette::WindowText, Qt::white);
        palette.setColor(QPalette::Base, QColor(0x2a, 0x2a, 0x2a));
        palette.setColor(QPalette::Text, Qt::white);
        return palette;
    }

private slots:
    void initTestCase() { TestSupport::enterTestMode(); }

    void readable_data()
    {
        QTest::addColumn<QPalette>("palette");
        QTest::newRow("light") << QStyleFactory::create("Fusion")->standardPalette();
        QTest::newRow("dark Fusion") << dark();
    }
    void readable()
    {
        QFETCH(QPalette, palette);
        for (const QColor& colour : { StatusColors::success(palette), StatusColors::failure(palette) }) {
            for (QPalette::ColorRole role : { QPalette::Window, QPalette::Base }) {
                const double ratio = StatusColors::contrast(colour, palette.color(role));
                QVERIFY2(ratio >= 4.5,
                    qPrintable(QString("%1 on %2: %3").arg(colour.name(), palette.color(role).name()).arg(ratio)));
            }
        }
        // Still green and red.
        QVERIFY(StatusColors::success(palette).green() > StatusColors::success(palette).red());
        QVERIFY(StatusColors::failure(palette).red() > StatusColors::failure(palette).green());
    }

    void contrastOfKnownPairs()
    {
        QCOMPARE(qRound(StatusColors::contrast(Qt::black, Qt::white) * 10), 210);
        QCOMPARE(qRound(StatusColors::contrast(QColor(0x77, 0x77, 0x77), Qt::white) * 100), 448);
    }
};

QTEST_MAIN(TestContrast)
#include "tst_contrast.moc"
