#include "helpdialog.h"

#include "helpbrowser.h"
#include "widgetfactory.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QSettings>
#include <QSlider>
#include <QSplitter>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <QVBoxLayout>

namespace
{

const char* const settingsGroup = "helpDialog";
const char* const geometryKey = "geometry";
// Spelled so since the first release; renaming it would lose users' values.
const char* const transparencyKey = "transparancy";

// Below 30 % the inactive window would be hard to find again.
constexpr int lowestOpacity = 30;

} // namespace

HelpDialog* HelpDialog::dialog = nullptr;
bool HelpDialog::created = false;
QByteArray HelpDialog::storedGeometry;
int HelpDialog::transparency = 100;

HelpDialog* HelpDialog::instance(QWidget* parent)
{
    if (!dialog)
        dialog = new HelpDialog(parent);
    return dialog;
}

void HelpDialog::discardInstance()
{
    delete dialog;
    dialog = nullptr;
    created = false;
}

HelpDialog::HelpDialog(QWidget* parent)
    : QDialog(parent,
        Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
            | Qt::WindowCloseButtonHint)
{
    created = true;

    browser = new HelpBrowser;
    browser->setObjectName(QStringLiteral("browser"));

    contents = new QTreeWidget;
    contents->setObjectName(QStringLiteral("contents"));
    contents->setColumnCount(1);
    contents->setHeaderLabel(tr("Contents"));

    transparencySlider = new QSlider(Qt::Horizontal);
    transparencySlider->setObjectName(QStringLiteral("transparencySlider"));
    transparencySlider->setRange(25, 100);
    transparencySlider->setValue(transparency);
    transparencySlider->setToolTip(tr("How opaque the help window stays while you work in another window"));

    auto* sliderRow = new QHBoxLayout;
    sliderRow->addStretch();
    sliderRow->addWidget(new QLabel(tr("Transparancy")));
    sliderRow->addWidget(transparencySlider);

    auto* panel = new QWidget;
    auto* panelLayout = new QVBoxLayout(panel);
    panelLayout->setContentsMargins(0, 0, 0, 0);
    panelLayout->addWidget(browser);
    panelLayout->addLayout(sliderRow);

    auto* splitter = new QSplitter(Qt::Horizontal);
    splitter->addWidget(contents);
    splitter->addWidget(panel);
    splitter->setStretchFactor(0, 0);
    splitter->setStretchFactor(1, 1);
    splitter->setChildrenCollapsible(false);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(splitter);

    WidgetFactory::populateHelp(contents->invisibleRootItem());
    contents->expandAll();
    // Room for the contents' titles, within reason; the document gets the rest.
    int contentsWidth = 0;
    for (QTreeWidgetItemIterator it(contents); *it; ++it) {
        int depth = 1;
        for (QTreeWidgetItem* up = (*it)->parent(); up; up = up->parent())
            ++depth;
        contentsWidth = qMax(
            contentsWidth, depth * contents->indentation() + contents->fontMetrics().horizontalAdvance((*it)->text(0)));
    }
    contentsWidth = qBound(160, contentsWidth + 2 * contents->frameWidth() + 16, 320);
    splitter->setSizes({ contentsWidth, 800 - contentsWidth });

    if (!restoreGeometry(storedGeometry))
        resize(800, 600);

    connect(contents, SIGNAL(itemClicked(QTreeWidgetItem*, int)), this, SLOT(itemClicked(QTreeWidgetItem*)));
    // The keyboard opens a document too: Return and Enter activate, and so does Space.
    connect(contents, &QTreeWidget::itemActivated, this, [this](QTreeWidgetItem* item) { itemClicked(item); });
    contents->installEventFilter(this);
    connect(browser, SIGNAL(sourceChanged(QUrl)), this, SLOT(sourceChanged(QUrl)));
}

HelpDialog::~HelpDialog()
{
    // Destroyed with the main window: keep the last place for saveSettings.
    storedGeometry = saveGeometry();
    if (dialog == this)
        dialog = nullptr;
}

void HelpDialog::showDocument(const QString& key)
{
    browser->setSource(QUrl(key));
}

bool HelpDialog::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == contents && event->type() == QEvent::KeyPress
        && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Space && contents->currentItem()) {
        itemClicked(contents->currentItem());
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void HelpDialog::itemClicked(QTreeWidgetItem* item)
{
    if (item)
        showDocument(item->data(0, Qt::UserRole).toString());
}

void HelpDialog::sourceChanged(QUrl source)
{
    // Exact match only: a key with an anchor marks nothing, and the current
    // entry stays as it was.
    const QString key = source.toString();
    for (QTreeWidgetItemIterator it(contents); *it; ++it) {
        if ((*it)->data(0, Qt::UserRole).toString() == key) {
            contents->setCurrentItem(*it);
            return;
        }
    }
}

bool HelpDialog::event(QEvent* event)
{
    // Events arrive while the constructor is still building the children.
    if (transparencySlider)
        transparency = qBound(lowestOpacity, transparencySlider->value(), 100);

    switch (event->type()) {
    case QEvent::WindowActivate:
        setWindowOpacity(1.0);
        return true;
    case QEvent::WindowDeactivate:
        setWindowOpacity(transparency / qreal(transparencySlider ? transparencySlider->maximum() : 100));
        return true;
    default:
        return QDialog::event(event);
    }
}

void HelpDialog::loadSettings(QSettings* settings)
{
    settings->beginGroup(QLatin1String(settingsGroup));
    storedGeometry = settings->value(QLatin1String(geometryKey)).toByteArray();
    transparency = settings->value(QLatin1String(transparencyKey), 100).toInt();
    settings->endGroup();
}

void HelpDialog::saveSettings(QSettings* settings)
{
    if (!created)
        return;
    settings->beginGroup(QLatin1String(settingsGroup));
    settings->setValue(QLatin1String(geometryKey), dialog ? dialog->saveGeometry() : storedGeometry);
    settings->setValue(QLatin1String(transparencyKey), transparency);
    settings->endGroup();
}
