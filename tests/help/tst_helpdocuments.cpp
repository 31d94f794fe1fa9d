#include "helpbrowser.h"
#include "testsupport.h"
#include "widgetfactory.h"

#include <QDate>
#include <QFile>
#include <QImageReader>
#include <QProcess>
#include <QRegularExpression>
#include <QResource>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextList>
#include <QVersionNumber>
#include <QtEndian>

// A help browser that notes every resource its documents ask for.
class RecordingBrowser : public HelpBrowser
{
public:
    struct Request {
        int type;
        QString name;
        bool found;
    };
    QList<Request> requests;

    QVariant loadResource(int type, const QUrl& name) override
    {
        const QVariant resource = HelpBrowser::loadResource(type, name);
        requests.append({ type, name.toString(), resource.isValid() });
        return resource;
    }
};

class tst_HelpDocuments : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void keysLoad_data();
    void keysLoad();
    void onlyReleaseNotesCompressed_data();
    void onlyReleaseNotesCompressed();
    void documentsRenderCompletely_data();
    void documentsRenderCompletely();
    void introductionPage();
    void commandLinePage();
    void releaseNotes();
    void screenshotIsRgbPng();
    void iconHasEightImages();
    void desktopIntegrationInstalls();
};

void tst_HelpDocuments::initTestCase()
{
    TestSupport::enterTestMode();
}

void tst_HelpDocuments::keysLoad_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("resource");

    QTest::newRow("index") << "general/doc/index"
                           << ":/doc/index.html";
    QTest::newRow("index.html") << "general/doc/index.html"
                                << ":/doc/index.html";
    QTest::newRow("four parts") << "general/doc/index/more"
                                << ":/doc/index.html";
    QTest::newRow("commandline") << "general/doc/commandline"
                                 << ":/doc/commandline.html";
    QTest::newRow("release") << "general/doc/release"
                             << ":/doc/release.html";
    QTest::newRow("release.html") << "general/doc/release.html"
                                  << ":/doc/release.html";
    QTest::newRow("style sheet") << "general/css/arvenholt.css"
                                 << ":/css/arvenholt.css";
    QTest::newRow("screenshot") << "general/images/default_view.png"
                                << ":/images/default_view.png";
    QTest::newRow("two parts") << "general/doc"
                               << "";
    QTest::newRow("other owner") << "General/doc/index"
                                 << "";
    QTest::newRow("no such name") << "general/doc/nothing"
                                  << "";
}

void tst_HelpDocuments::keysLoad()
{
    QFETCH(QString, key);
    QFETCH(QString, resource);

    const QVariant answer = WidgetFactory::helpResource(key);
    if (resource.isEmpty()) {
        QVERIFY(!answer.isValid());
        return;
    }
    QFile file(resource);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    QVERIFY(bytes.size() > 100);
    QCOMPARE(answer.toByteArray(), bytes);
}

void tst_HelpDocuments::onlyReleaseNotesCompressed_data()
{
    QTest::addColumn<QString>("resource");
    QTest::addColumn<bool>("compressed");

    QTest::newRow("index") << ":/doc/index.html" << false;
    QTest::newRow("commandline") << ":/doc/commandline.html" << false;
    QTest::newRow("release") << ":/doc/release.html" << true;
    QTest::newRow("css") << ":/css/arvenholt.css" << false;
    QTest::newRow("png") << ":/images/default_view.png" << false;
    QTest::newRow("ico") << ":/km4200.ico" << false;
}

void tst_HelpDocuments::onlyReleaseNotesCompressed()
{
    QFETCH(QString, resource);
    QFETCH(bool, compressed);

    QResource entry(resource);
    QVERIFY(entry.isValid());
    QCOMPARE(entry.compressionAlgorithm() != QResource::NoCompression, compressed);
}

void tst_HelpDocuments::documentsRenderCompletely_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("title");
    QTest::addColumn<int>("images");

    QTest::newRow("index") << "general/doc/index"
                           << "Kestrix Studio - Introduction" << 1;
    QTest::newRow("commandline") << "general/doc/commandline"
                                 << "Kestrix Studio - Commandline possibilities" << 0;
    QTest::newRow("release") << "general/doc/release"
                             << "Kestrix Studio - Release notes" << 0;
}

// Style sheet and images resolve through the help keys: nothing the page
// asks for is missing, the house colour reaches the heading and every image
// decodes.
void tst_HelpDocuments::documentsRenderCompletely()
{
    QFETCH(QString, key);
    QFETCH(QString, title);
    QFETCH(int, images);

    RecordingBrowser browser;
    browser.resize(800, 600);
    browser.setSource(QUrl(key));
    const QImage page = browser.grab().toImage();

    QCOMPARE(browser.documentTitle(), title);
    QStringList missing;
    bool styleSheetLoaded = false;
    for (const RecordingBrowser::Request& request : qAsConst(browser.requests)) {
        if (!request.found)
            missing << request.name;
        if (request.type == QTextDocument::StyleSheetResource)
            styleSheetLoaded = request.name == QLatin1String("general/css/arvenholt.css");
    }
    QVERIFY2(missing.isEmpty(), qPrintable(missing.join(QLatin1Char(' '))));
    QVERIFY(styleSheetLoaded);

    QTextDocument* document = browser.document();
    const QTextBlock first = document->firstBlock();
    QCOMPARE(first.blockFormat().headingLevel(), 1);
    QCOMPARE(first.charFormat().foreground().color(), QColor(0x47, 0xaf, 0xcc));

    int found = 0;
    for (QTextBlock block = first; block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextCharFormat format = it.fragment().charFormat();
            if (!format.isImageFormat())
                continue;
            ++found;
            const QString name = format.toImageFormat().name();
            // Cached as the decoded picture once the page has been laid out.
            const QVariant resource = document->resource(QTextDocument::ImageResource, QUrl(name));
            QImage image = resource.userType() == QMetaType::QPixmap ? resource.value<QPixmap>().toImage()
                                                                     : resource.value<QImage>();
            if (resource.userType() == QMetaType::QByteArray)
                image.loadFromData(resource.toByteArray());
            QVERIFY2(!image.isNull(), qPrintable(name));
            QCOMPARE(image.size(), QSize(1009, 683));

            // The page shows the picture itself: its place holds many colours.
            QTextCursor cursor(document);
            cursor.setPosition(block.position() + it.fragment().position() - block.position());
            const QRect place = browser.cursorRect(cursor).translated(browser.viewport()->pos());
            QSet<QRgb> colours;
            for (int y = place.top(); y < place.bottom() && y < page.height(); y += 3) {
                for (int x = place.left() + 2; x < place.left() + 400 && x < page.width(); x += 3)
                    colours.insert(page.pixel(x, y));
            }
            QVERIFY2(colours.size() > 20, qPrintable(QString::number(colours.size())));
        }
    }
    QCOMPARE(found, images);
}

void tst_HelpDocuments::introductionPage()
{
    const QString html
        = QString::fromUtf8(WidgetFactory::helpResource(QStringLiteral("general/doc/index")).toByteArray());
    QVERIFY(html.contains(QStringLiteral("href=\"general/css/arvenholt.css\"")));
    QVERIFY(html.contains(
        QRegularExpression(QStringLiteral("<img src=\"general/images/default_view.png\" alt=\"Opening view\""))));

    HelpBrowser browser;
    browser.setSource(QUrl(QStringLiteral("general/doc/index")));
    QTextDocument* document = browser.document();
    QCOMPARE(document->firstBlock().text(), QStringLiteral("Kestrix Studio"));
    const QTextCursor heading = document->find(QStringLiteral("Release notes"));
    QCOMPARE(heading.block().blockFormat().headingLevel(), 2);
    const QTextBlock link = heading.block().next();
    QVERIFY(link.text().contains(QStringLiteral("release notes")));
    bool linked = false;
    for (auto it = link.begin(); !it.atEnd(); ++it)
        linked |= it.fragment().charFormat().anchorHref() == QLatin1String("general/doc/release.html");
    QVERIFY(linked);
}

void tst_HelpDocuments::commandLinePage()
{
    HelpBrowser browser;
    browser.setSource(QUrl(QStringLiteral("general/doc/commandline")));
    QTextDocument* document = browser.document();
    QCOMPARE(document->firstBlock().text(), QStringLiteral("Commandline possibilities"));
    const QString text = document->toPlainText();
    QVERIFY(text.contains(QStringLiteral("C:\\Program Files\\Arvenholt Labs\\Kestrix Studio")));
    QVERIFY(text.contains(QStringLiteral("C:\\Program Files (x86)\\Arvenholt Labs\\Kestrix Studio")));
    QVERIFY(text.contains(QStringLiteral("-h > output.txt")));

    QStringList headings;
    for (QTextBlock block = document->firstBlock(); block.isValid(); block = block.next()) {
        if (block.blockFormat().headingLevel() >= 2)
            headings << QStringLiteral("h%1 %2").arg(block.blockFormat().headingLevel()).arg(block.text());
    }
    QCOMPARE(headings, QStringList({ "h2 Available commands", "h3 -h [module]" }));
}

// One h2 per release, newest first; under each, bold headings in their fixed
// order, each followed by a bullet list.
void tst_HelpDocuments::releaseNotes()
{
    HelpBrowser browser;
    browser.setSource(QUrl(QStringLiteral("general/doc/release")));
    QTextDocument* document = browser.document();
    QCOMPARE(document->firstBlock().text(), QStringLiteral("Release notes"));

    const QStringList order = { "New features", "Changed features", "Fixed issues", "Known issues" };
    const QRegularExpression releaseHeading(QStringLiteral("^v(\\d+(?:\\.\\d+)+) - (\\w+) (\\d{4})$"));
    QStringList releases;
    QVersionNumber previousVersion;
    QDate previousDate;
    int lastSection = -1;
    for (QTextBlock block = document->firstBlock().next(); block.isValid(); block = block.next()) {
        const QString text = block.text();
        if (block.blockFormat().headingLevel() == 2) {
            const QRegularExpressionMatch match = releaseHeading.match(text);
            QVERIFY2(match.hasMatch(), qPrintable(text));
            QVERIFY2(
                releases.isEmpty() || lastSection >= 0, qPrintable(QStringLiteral("empty release before ") + text));
            const QVersionNumber version = QVersionNumber::fromString(match.captured(1));
            const QDate date = QDate::fromString(
                match.captured(2) + QLatin1Char(' ') + match.captured(3), QStringLiteral("MMMM yyyy"));
            QVERIFY2(date.isValid(), qPrintable(text));
            if (!releases.isEmpty()) {
                QVERIFY2(version < previousVersion, qPrintable(text));
                QVERIFY2(date < previousDate, qPrintable(text));
            }
            previousVersion = version;
            previousDate = date;
            releases << text;
            lastSection = -1;
        } else if (block.textList()) {
            QVERIFY2(lastSection >= 0, qPrintable(QStringLiteral("list without heading: ") + text));
            QCOMPARE(block.textList()->format().style(), QTextListFormat::ListDisc);
        } else {
            QVERIFY2(!releases.isEmpty(), qPrintable(QStringLiteral("text before the first release: ") + text));
            const int section = order.indexOf(text);
            QVERIFY2(section > lastSection, qPrintable(releases.last() + QStringLiteral(": ") + text));
            QCOMPARE(block.begin().fragment().charFormat().fontWeight(), int(QFont::Bold));
            QVERIFY2(block.next().textList(), qPrintable(releases.last() + QStringLiteral(": ") + text));
            lastSection = section;
        }
    }
    QCOMPARE(releases.first(), QStringLiteral("v1.21.1 - December 2015"));
    QCOMPARE(releases.last(), QStringLiteral("v1.0 - August 2008"));
    QVERIFY(releases.size() >= 15 && releases.size() <= 25);
}

void tst_HelpDocuments::screenshotIsRgbPng()
{
    QFile file(QStringLiteral(":/images/default_view.png"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray png = file.readAll();
    QVERIFY(png.startsWith("\x89PNG\r\n\x1a\n"));
    // IHDR: width, height, bit depth 8, colour type 2 (RGB, no alpha).
    QCOMPARE(png.mid(12, 4), QByteArray("IHDR"));
    QCOMPARE(qFromBigEndian<quint32>(png.constData() + 16), 1009u);
    QCOMPARE(qFromBigEndian<quint32>(png.constData() + 20), 683u);
    QCOMPARE(int(png.at(24)), 8);
    QCOMPARE(int(png.at(25)), 2);
}

void tst_HelpDocuments::iconHasEightImages()
{
    QImageReader reader(QStringLiteral(":/km4200.ico"));
    QCOMPARE(reader.imageCount(), 8);
    QStringList decoded;
    for (int i = 0; i < reader.imageCount(); ++i) {
        QVERIFY(reader.jumpToImage(i));
        const QImage image = reader.read();
        QVERIFY2(!image.isNull(), qPrintable(reader.errorString()));
        decoded << QStringLiteral("%1x%2").arg(image.width()).arg(image.height());
    }
    QCOMPARE(decoded, QStringList({ "48x48", "48x48", "32x32", "32x32", "24x24", "24x24", "16x16", "16x16" }));

    // The directory names each image's colour depth.
    QFile file(QStringLiteral(":/km4200.ico"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray ico = file.readAll();
    QCOMPARE(qFromLittleEndian<quint16>(ico.constData() + 2), quint16(1));
    QCOMPARE(qFromLittleEndian<quint16>(ico.constData() + 4), quint16(8));
    QStringList entries;
    for (int i = 0; i < 8; ++i) {
        const char* entry = ico.constData() + 6 + 16 * i;
        entries << QStringLiteral("%1x%2x%3")
                       .arg(quint8(entry[0]))
                       .arg(quint8(entry[1]))
                       .arg(qFromLittleEndian<quint16>(entry + 6));
    }
    QCOMPARE(entries,
        QStringList({ "48x48x8", "48x48x32", "32x32x8", "32x32x32", "24x24x8", "24x24x32", "16x16x8", "16x16x32" }));
}

// The install rules of resources/ put the desktop entry and the hicolor
// icons where a Linux desktop's menu finds them.
void tst_HelpDocuments::desktopIntegrationInstalls()
{
    const QString script = QStringLiteral(KESTRIX_BINARY_DIR "/resources/cmake_install.cmake");
    if (!QFile::exists(script))
        QSKIP("resources/ has no install rules in this build");
    QTemporaryDir prefix;
    QProcess cmake;
    cmake.start(QStringLiteral(CMAKE_COMMAND),
        { QStringLiteral("-DCMAKE_INSTALL_PREFIX=") + prefix.path(), QStringLiteral("-P"), script });
    QVERIFY(cmake.waitForFinished(60000));
    QVERIFY2(cmake.exitCode() == 0, cmake.readAllStandardError().constData());

    QFile desktop(prefix.filePath(QStringLiteral("share/applications/kestrix-studio.desktop")));
    QVERIFY(desktop.open(QIODevice::ReadOnly | QIODevice::Text));
    const QStringList lines = QString::fromUtf8(desktop.readAll()).split(QLatin1Char('\n'));
    QCOMPARE(lines.first(), QStringLiteral("[Desktop Entry]"));
    for (const char* line : { "Type=Application", "Name=Kestrix Studio", "Exec=kestrix-studio", "Icon=kestrix-studio",
             "Categories=Development;Electronics;" })
        QVERIFY2(lines.contains(QLatin1String(line)), line);

    for (int size : { 16, 24, 32, 48, 64, 128, 256 }) {
        const QString png
            = prefix.filePath(QStringLiteral("share/icons/hicolor/%1x%1/apps/kestrix-studio.png").arg(size));
        QCOMPARE(QImageReader(png).size(), QSize(size, size));
    }
    QVERIFY(QFile::exists(prefix.filePath(QStringLiteral("share/icons/hicolor/scalable/apps/kestrix-studio.svg"))));
}

QTEST_MAIN(tst_HelpDocuments)
#include "tst_helpdocuments.moc"
