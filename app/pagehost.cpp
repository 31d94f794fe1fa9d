#include "pagehost.h"

#include "basewidget.h"
#include "connectionmanager.h"
#include "widgetfactory.h"

#include <QLoggingCategory>
#include <QMainWindow>
#include <QScrollArea>
#include <QThread>
#include <QTimer>

Q_DECLARE_LOGGING_CATEGORY(lcMainWindow)

namespace
{

// Interval at which retired pages are looked at again while a nested event
// loop keeps them alive.
const int retireRetryMs = 100;

} // namespace

PageHost::PageHost(QMainWindow* window)
    : QObject(window)
    , window(window)
    , retireTimer(new QTimer(this))
{
    retireTimer->setSingleShot(true);
    connect(retireTimer, &QTimer::timeout, this, &PageHost::deleteRetiredPages);
    // The first queued call runs from the loop that drives the window (the
    // application's, or a test's): replaced pages are deleted only there.
    QMetaObject::invokeMethod(
        this, [this] { mainLoopLevel = int(QThread::currentThread()->loopLevel()); }, Qt::QueuedConnection);
}

PageHost::~PageHost()
{
    const auto retired = retiredPages;
    retiredPages.clear();
    for (const QPointer<BaseWidget>& old : retired)
        delete old.data();
}

BaseWidget* PageHost::change(int type, int boardID, int subtype)
{
    qCDebug(lcMainWindow) << "page change" << type << boardID << subtype;
    if (!area) {
        area = new QScrollArea;
        area->setWidgetResizable(true);
        window->setCentralWidget(area);
    }

    BaseWidget* next = WidgetFactory::createWidget(type, quint8(subtype), boardID);
    page = next;
    emit currentPageChanged(next);
    // A kept page may come back before it was deleted.
    retiredPages.removeAll(next);
    BaseWidget* old = qobject_cast<BaseWidget*>(area->takeWidget());
    emit pageChanging(next, old);

    if (old) {
        disconnect(old, SIGNAL(titleChanged()), this, SIGNAL(titleChanged()));
        if (old != next) {
            old->leavePage();
            if (old->deleteWhenReplaced())
                retire(old);
        }
    }

    connect(next, SIGNAL(titleChanged()), this, SIGNAL(titleChanged()));
    area->setWidget(next);
    // Unique: a page its plug-in keeps and shows again is wired once.
    connect(next, SIGNAL(logmessage(KestrixStudio::LogLevel, QString)), this,
        SIGNAL(logmessage(KestrixStudio::LogLevel, QString)), Qt::UniqueConnection);
    connect(ConnectionManager::Instance(), SIGNAL(updated()), next, SLOT(boardUpdate()), Qt::UniqueConnection);
    connect(next, SIGNAL(widgetChange(int, int, int)), this, SIGNAL(widgetChange(int, int, int)), Qt::UniqueConnection);
    return next;
}

void PageHost::retire(BaseWidget* old)
{
    // Gone for the user: it no longer follows the boards nor asks for pages.
    // Its log stays wired, so a slot still running can report its outcome.
    disconnect(ConnectionManager::Instance(), SIGNAL(updated()), old, SLOT(boardUpdate()));
    disconnect(old, SIGNAL(widgetChange(int, int, int)), this, SIGNAL(widgetChange(int, int, int)));
    old->hide();
    retiredPages.append(old);
    if (!retireTimer->isActive())
        retireTimer->start(0);
}

void PageHost::deleteRetiredPages()
{
    // A nested loop (a dialog, a wait of the page itself) may have been
    // started by a retired page: wait until control is back in the main loop.
    const int level = int(QThread::currentThread()->loopLevel());
    if (mainLoopLevel < 0 || level > mainLoopLevel) {
        retireTimer->start(retireRetryMs);
        return;
    }
    const auto retired = retiredPages;
    retiredPages.clear();
    for (const QPointer<BaseWidget>& old : retired)
        delete old.data();
}
