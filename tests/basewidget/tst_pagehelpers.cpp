// The static and page helpers of BaseWidget: tree items, help documents,
// headings, console output, file dialogs and the save question.

#include "basewidget.h"
#include "testsupport.h"

#include <QLabel>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QTreeWidget>
#include <QUrl>
#include <QtTest>

#include <functional>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace {

class HelperPage : public BaseWidget
{
public:
    using BaseWidget::completeFileExtension;
    bool save() override
    {
        ++saves;
        return saveResult;
    }
    bool saveResult = false;
    int saves = 0;
};

// Runs `write` with the process's standard output sent to a file.
QByteArray captureStdout(const std::function<void()>& write)
{
#ifdef Q_OS_UNIX
    QTemporaryFile file;
    if (!file.open())
        return QByteArray();
    fflush(stdout);
    const int saved = dup(STDOUT_FILENO);
    dup2(file.handle(), STDOUT_FILENO);
    write();
    fflush(stdout);
    dup2(saved, STDOUT_FILENO);
    close(saved);
    file.seek(0);
    return file.readAll();
#else
    Q_UNUSED(write)
    return QByteArray();
#endif
}

// Types a name into the widget file dialog and accepts it. selectFile() would
// leave the focused name edit alone and race the folder listing thread.
void typeFileName(QFileDialog* dialog, const QString& name)
{
    auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    QVERIFY(edit);
    edit->setText(name);
    static_cast<QDialog*>(dialog)->accept();
}

} // namespace

class TestPageHelpers : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void extraChipSupportOnlyTurnsOn();

    void createMenuItem_data();
    void createMenuItem();
    void setItemView_data();
    void setItemView();
    void removeItemsOfType_data();
    void removeItemsOfType();

    void helpDocument_data();
    void helpDocument();
    void hasProperty();
    void headingFont_data();
    void headingFont();

    void printRow_data();
    void printRow();

    void completeFileExtension_data();
    void completeFileExtension();
    void saveDialogCompletesExtension();
    void cancelledDialogKeepsHexPath();
    void openDialogRemembersFolder();

    void askToSave_data();
    void askToSave();

private:
    QTemporaryDir m_dir;
};

void TestPageHelpers::initTestCase()
{
    TestSupport::enterTestMode();
    // The widget dialog can be driven from the test; a native one cannot.
    QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
    QVERIFY(m_dir.isValid());
}

void TestPageHelpers::init()
{
    BaseWidget::setHexPath(QString());
}

void TestPageHelpers::extraChipSupportOnlyTurnsOn()
{
    QCOMPARE(BaseWidget::extraChipSupport(), false);
    BaseWidget::setExtraChipSupport(false);
    QCOMPARE(BaseWidget::extraChipSupport(), false);
    BaseWidget::setExtraChipSupport(true);
    BaseWidget::setExtraChipSupport(false);
    QCOMPARE(BaseWidget::extraChipSupport(), true);
}

void TestPageHelpers::createMenuItem_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("boardID");
    QTest::addColumn<int>("subtype");
    QTest::addColumn<int>("itemType");
    QTest::newRow("dispatcher") << 12 << 3 << 1 << 12031;
    QTest::newRow("overview") << 5 << 0 << 0 << 5000;
    QTest::newRow("two-digit board") << 2 << 17 << 4 << 2174;
    QTest::newRow("no page") << 0 << 0 << 0 << 0;
}

void TestPageHelpers::createMenuItem()
{
    QFETCH(int, type);
    QFETCH(int, boardID);
    QFETCH(int, subtype);
    QFETCH(int, itemType);

    QTreeWidgetItem parent;
    QTreeWidgetItem* item = BaseWidget::createMenuItem(QStringLiteral("Board"), &parent, type, boardID, subtype);
    QCOMPARE(item->parent(), &parent);
    QCOMPARE(item->type(), itemType);
    QCOMPARE(item->text(0), QStringLiteral("Board"));
    QCOMPARE(item->flags(), Qt::ItemIsSelectable | Qt::ItemIsEnabled);
    const QVariant roles[] = { item->data(0, Qt::UserRole + 1), item->data(0, Qt::UserRole + 2),
                               item->data(0, Qt::UserRole + 3) };
    for (const QVariant& role : roles)
        QCOMPARE(role.userType(), int(QMetaType::Int));
    QCOMPARE(roles[0].toInt(), type);
    QCOMPARE(roles[1].toInt(), boardID);
    QCOMPARE(roles[2].toInt(), subtype);
}

void TestPageHelpers::setItemView_data()
{
    QTest::addColumn<int>("view");
    QTest::addColumn<bool>("startHidden");
    QTest::addColumn<bool>("hidden");
    QTest::addColumn<bool>("selectable");
    QTest::addColumn<bool>("enabled");

    for (bool startHidden : { false, true }) {
        const char* from = startHidden ? "from hidden" : "from shown";
        QTest::addRow("hide %s", from) << 0 << startHidden << true << false << false;
        QTest::addRow("root with children %s", from) << 1 << startHidden << false << false << true;
        QTest::addRow("root without children %s", from) << 2 << startHidden << false << false << false;
        QTest::addRow("enable %s", from) << 3 << startHidden << false << false << false;
        QTest::addRow("show %s", from) << 4 << startHidden << false << true << true;
        QTest::addRow("above range %s", from) << 9 << startHidden << false << true << true;
        QTest::addRow("negative %s", from) << -1 << startHidden << false << true << true;
    }
}

void TestPageHelpers::setItemView()
{
    QFETCH(int, view);
    QFETCH(bool, startHidden);
    QFETCH(bool, hidden);
    QFETCH(bool, selectable);
    QFETCH(bool, enabled);

    QTreeWidget tree;
    auto* item = new QTreeWidgetItem(&tree);
    // Start from the opposite of the expected flags, plus one flag that must survive.
    Qt::ItemFlags start = Qt::ItemIsUserCheckable;
    if (!selectable)
        start |= Qt::ItemIsSelectable;
    if (!enabled)
        start |= Qt::ItemIsEnabled;
    item->setFlags(start);
    item->setHidden(startHidden);

    BaseWidget::setItemView(item, KestrixStudio::WidgetView(view));

    QCOMPARE(item->isHidden(), hidden);
    QCOMPARE(item->flags().testFlag(Qt::ItemIsSelectable), selectable);
    QCOMPARE(item->flags().testFlag(Qt::ItemIsEnabled), enabled);
    QCOMPARE(item->flags().testFlag(Qt::ItemIsUserCheckable), view != 0);
}

void TestPageHelpers::removeItemsOfType_data()
{
    QTest::addColumn<QList<int>>("types");
    QTest::addColumn<int>("removed");
    QTest::addColumn<QList<int>>("kept");
    const QList<int> mixed { 12000, 1200, 12999, 13000, 12031, 11999, 5000 };
    QTest::newRow("type 12") << mixed << 12 << QList<int> { 1200, 13000, 11999, 5000 };
    QTest::newRow("type 1") << mixed << 1 << QList<int> { 12000, 12999, 13000, 12031, 11999, 5000 };
    QTest::newRow("absent type") << mixed << 7 << mixed;
    QTest::newRow("all of one type") << QList<int> { 3010, 3020 } << 3 << QList<int> {};
}

void TestPageHelpers::removeItemsOfType()
{
    QFETCH(QList<int>, types);
    QFETCH(int, removed);
    QFETCH(QList<int>, kept);

    QTreeWidget tree;
    auto* parent = new QTreeWidgetItem(&tree);
    QList<QTreeWidgetItem*> children;
    for (int type : types)
        children << new QTreeWidgetItem(parent, type);

    BaseWidget::removeItemsOfType(parent, removed);

    QList<int> remaining;
    for (int i = 0; i < parent->childCount(); ++i)
        remaining << parent->child(i)->type();
    QCOMPARE(remaining, kept);
    for (QTreeWidgetItem* child : qAsConst(children)) {
        if (!child->parent()) {
            QCOMPARE(child->type() / 1000, removed);
            QVERIFY(!child->treeWidget());
            delete child; // dropped items belong to the caller
        }
    }
    BaseWidget::removeItemsOfType(nullptr, removed); // no parent: nothing happens
}

void TestPageHelpers::helpDocument_data()
{
    QTest::addColumn<QString>("prefix");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QByteArray>("content");

    const QByteArray page("<html><body>page</body></html>\n");
    const QByteArray plain("plain text\n");
    QTest::newRow("html added") << "general" << "general/bwtest/page" << page;
    QTest::newRow("html given") << "general" << "general/bwtest/page.html" << page;
    QTest::newRow("no extension") << "general" << "general/bwtest/plain" << plain;
    QTest::newRow("further parts ignored") << "general" << "general/bwtest/plain/more/parts" << plain;
    QTest::newRow("plug-in owner") << "kt24" << "kt24/bwtest/page" << page;
    QTest::newRow("two parts") << "general" << "general/bwtest" << QByteArray();
    QTest::newRow("other owner") << "general" << "kt24/bwtest/page" << QByteArray();
    QTest::newRow("owner case") << "general" << "General/bwtest/page" << QByteArray();
    QTest::newRow("missing document") << "general" << "general/bwtest/absent" << QByteArray();
    QTest::newRow("empty key") << "general" << "" << QByteArray();
}

void TestPageHelpers::helpDocument()
{
    QFETCH(QString, prefix);
    QFETCH(QString, key);
    QFETCH(QByteArray, content);

    const QVariant document = BaseWidget::helpDocument(prefix, QUrl(key));
    if (content.isNull()) {
        QVERIFY(!document.isValid());
        return;
    }
    QCOMPARE(document.userType(), int(QMetaType::QByteArray));
    QCOMPARE(document.toByteArray(), content);
}

void TestPageHelpers::hasProperty()
{
    QObject object;
    object.setProperty("moduleName", QStringLiteral("KT24"));
    QVERIFY(BaseWidget::hasProperty(&object, QStringLiteral("objectName")));
    QVERIFY(BaseWidget::hasProperty(&object, QStringLiteral("moduleName")));
    QVERIFY(!BaseWidget::hasProperty(&object, QStringLiteral("firmware")));
    QVERIFY(!BaseWidget::hasProperty(nullptr, QStringLiteral("objectName")));
}

void TestPageHelpers::headingFont_data()
{
    QTest::addColumn<int>("pointSize");
    QTest::addColumn<int>("headingSize");
    QTest::newRow("9 drops the fraction") << 9 << 12;
    QTest::newRow("10") << 10 << 14;
    QTest::newRow("11") << 11 << 15;
}

void TestPageHelpers::headingFont()
{
    QFETCH(int, pointSize);
    QFETCH(int, headingSize);

    QWidget parent;
    QFont font = parent.font();
    font.setPointSize(pointSize);
    parent.setFont(font);
    QLabel* label = BaseWidget::createHeadingLabel(&parent);
    QCOMPARE(label->parentWidget(), &parent);
    QVERIFY(label->text().isEmpty());
    QCOMPARE(label->font().pointSize(), headingSize);
    QCOMPARE(label->font().weight(), 75);
}

void TestPageHelpers::printRow_data()
{
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("second");
    QTest::addColumn<QByteArray>("line");

    const QString long1 = QStringLiteral("-kt3901support-option"); // 21 characters
    const QByteArray pad5(5, ' ');
    QTest::newRow("help option") << "-h" << "Shows this text"
                                 << QByteArray("-h" + QByteArray(18, ' ') + "Shows this text" + pad5 + "\n");
    QTest::newRow("exactly 20") << "12345678901234567890" << "x"
                                << QByteArray("12345678901234567890x" + QByteArray(19, ' ') + "\n");
    QTest::newRow("longer first not cut")
        << long1 << "y" << QByteArray(long1.toLatin1() + "y" + QByteArray(19, ' ') + "\n");
    QTest::newRow("longer second not cut")
        << "a" << "a description of more than twenty characters"
        << QByteArray("a" + QByteArray(19, ' ') + "a description of more than twenty characters\n");
    QTest::newRow("empty") << "" << "" << QByteArray(QByteArray(40, ' ') + "\n");
}

void TestPageHelpers::printRow()
{
#ifndef Q_OS_UNIX
    QSKIP("Standard output is captured through file descriptors");
#endif
    QFETCH(QString, first);
    QFETCH(QString, second);
    QFETCH(QByteArray, line);

    // Two rows: the second proves the stream's formatting was reset.
    const QByteArray out = captureStdout([&]() {
        BaseWidget::printRow(first, second);
        BaseWidget::printText(QStringLiteral("a"), QStringLiteral("b"));
    });
    QCOMPARE(out, line + "a b\n\n");
}

void TestPageHelpers::completeFileExtension_data()
{
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QString>("chosen");
    QTest::addColumn<QString>("result");

    QTest::newRow("no suffix") << "HEX files (*.hex)" << "/d/out" << "/d/out.hex";
    QTest::newRow("matching suffix") << "HEX files (*.hex)" << "/d/out.hex" << "/d/out.hex";
    QTest::newRow("case differs") << "HEX files (*.hex)" << "/d/out.HEX" << "/d/out.HEX.hex";
    QTest::newRow("other suffix") << "HEX files (*.hex)" << "/d/out.txt" << "/d/out.txt.hex";
    QTest::newRow("second pattern") << "HEX files (*.hex *.ihx)" << "/d/out.ihx" << "/d/out.ihx";
    QTest::newRow("first pattern appended") << "HEX files (*.hex *.ihx)" << "/d/out" << "/d/out.hex";
    QTest::newRow("dotted folder") << "HEX files (*.hex)" << "/d/v1.2/out" << "/d/v1.2/out.hex";
    QTest::newRow("all files") << "All files (*)" << "/d/out" << "/d/out";
    QTest::newRow("plain name pattern") << "Make files (Makefile)" << "/d/out" << "/d/out";
    QTest::newRow("empty filter") << "" << "/d/out" << "/d/out";
    QTest::newRow("pattern without closing") << "*.hex" << "/d/out" << "/d/out";
    QTest::newRow("double extension") << "Archives (*.tar.gz)" << "/d/out" << "/d/out";
}

void TestPageHelpers::completeFileExtension()
{
    QFETCH(QString, filter);
    QFETCH(QString, chosen);
    QFETCH(QString, result);
    QCOMPARE(HelperPage::completeFileExtension(chosen, filter), result);
}

void TestPageHelpers::saveDialogCompletesExtension()
{
    HelperPage page;
    QString dialogFolder;
    TestSupport::ModalAnswer answer(QMessageBox::Ok, [&](QWidget* modal) {
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        QVERIFY(dialog);
        dialogFolder = dialog->directory().absolutePath();
        typeFileName(dialog, QStringLiteral("out"));
    });
    const QString name = page.saveFileName(&page, QStringLiteral("Save image"), m_dir.path(),
                                           QStringLiteral("HEX files (*.hex)"), QString());
    QVERIFY(answer.seen().seen);
    QCOMPARE(answer.seen().title, QStringLiteral("Save image"));
    QCOMPARE(dialogFolder, QDir(m_dir.path()).absolutePath());
    QCOMPARE(name, m_dir.filePath(QStringLiteral("out.hex")));
    QCOMPARE(BaseWidget::hexPath(), QDir(m_dir.path()).absolutePath());
}

void TestPageHelpers::cancelledDialogKeepsHexPath()
{
    BaseWidget::setHexPath(m_dir.path());
    HelperPage page;
    TestSupport::ModalAnswer answer; // rejects the file dialog
    const QString name
        = page.openFileName(&page, QStringLiteral("Open"), QString(), QStringLiteral("HEX files (*.hex)"), QString());
    QVERIFY(answer.seen().seen);
    QVERIFY(name.isEmpty());
    QCOMPARE(BaseWidget::hexPath(), m_dir.path());
}

void TestPageHelpers::openDialogRemembersFolder()
{
    QVERIFY(QDir(m_dir.path()).mkpath(QStringLiteral("images")));
    const QString folder = m_dir.filePath(QStringLiteral("images"));
    QFile file(folder + QStringLiteral("/module.hex"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();

    BaseWidget::setHexPath(m_dir.path());
    HelperPage page;
    QString dialogFolder;
    TestSupport::ModalAnswer answer(QMessageBox::Ok, [&](QWidget* modal) {
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        QVERIFY(dialog);
        dialogFolder = dialog->directory().absolutePath();
        typeFileName(dialog, QStringLiteral("module.hex"));
    });
    // A given folder replaces the remembered one.
    const QString name
        = page.openFileName(&page, QStringLiteral("Open"), folder, QStringLiteral("HEX files (*.hex)"), QString());
    QCOMPARE(dialogFolder, folder);
    QCOMPARE(name, file.fileName());
    QCOMPARE(BaseWidget::hexPath(), folder);
}

void TestPageHelpers::askToSave_data()
{
    QTest::addColumn<int>("button");
    QTest::addColumn<bool>("saveResult");
    QTest::addColumn<int>("saves");
    QTest::addColumn<int>("answer");
    QTest::newRow("save succeeds") << int(QMessageBox::Save) << true << 1 << 0;
    QTest::newRow("save fails") << int(QMessageBox::Save) << false << 1 << 2;
    QTest::newRow("discard") << int(QMessageBox::Discard) << true << 0 << 1;
    QTest::newRow("cancel") << int(QMessageBox::Cancel) << true << 0 << 2;
}

void TestPageHelpers::askToSave()
{
    QFETCH(int, button);
    QFETCH(bool, saveResult);
    QFETCH(int, saves);
    QFETCH(int, answer);

    HelperPage page;
    page.saveResult = saveResult;
    TestSupport::ModalAnswer modal { QMessageBox::StandardButton(button) };
    QCOMPARE(page.askToSave(QStringLiteral("Unsaved changes"), QStringLiteral("Save the image?")), answer);
    QCOMPARE(modal.seen().title, QStringLiteral("Unsaved changes"));
    QCOMPARE(modal.seen().text, QStringLiteral("Save the image?"));
    QCOMPARE(page.saves, saves);
}

QTEST_MAIN(TestPageHelpers)
#include "tst_pagehelpers.moc"
