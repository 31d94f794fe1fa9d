#pragma once

#include "kestrixstudio.h"

#include <QList>
#include <QObject>
#include <QPointer>

class BaseWidget;
class QMainWindow;
class QScrollArea;
class QTimer;

// The window's page area: one page at a time in a scroll area that becomes
// the window's central widget on the first change. A change asks the widget
// factory for the page, releases the old one and wires the new one; the
// window follows through the signals. Replaced pages wait in a retired list
// until control is back in the loop that drives the window: one of their own
// slots may still be on the stack (a dialog, an update wait).
class PageHost : public QObject
{
    Q_OBJECT

public:
    explicit PageHost(QMainWindow* window);
    ~PageHost() override;

    BaseWidget* currentPage() const { return page; }
    QScrollArea* scrollArea() const { return area; }

    // Shows the factory's page for the triple; returns it.
    BaseWidget* change(int type, int boardID, int subtype);

signals:
    // The factory's page is the current one from here on, before the old
    // page is let go: whatever runs during the change sees the new page.
    void currentPageChanged(BaseWidget* page);
    // The new page is chosen and the old one (or null) taken out, not yet
    // released: the window adjusts its frame to the new page.
    void pageChanging(BaseWidget* page, BaseWidget* old);
    // Relayed from the current page.
    void widgetChange(int type, int boardID, int subtype);
    void titleChanged();
    // Relayed from every page that is alive, retired ones too, so a slot
    // still running can report its outcome.
    void logmessage(KestrixStudio::LogLevel level, QString message);

private:
    void retire(BaseWidget* old);
    void deleteRetiredPages();

    QMainWindow* window;
    QScrollArea* area = nullptr;
    BaseWidget* page = nullptr;
    QList<QPointer<BaseWidget>> retiredPages;
    QTimer* retireTimer;
    // Loop level of the event loop that runs the window; -1 until known.
    int mainLoopLevel = -1;
};
