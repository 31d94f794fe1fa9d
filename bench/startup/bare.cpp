// The yardstick: a bare Qt main window with two docks, shown, writing "idle"
// and quitting as soon as the event loop is idle with the window on screen,
// like kestrix-studio under KESTRIX_QUIT_WHEN_IDLE=1.

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QDockWidget>
#include <QListWidget>
#include <QMainWindow>
#include <QTreeWidget>
#include <QWindow>

#include <cstdio>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QMainWindow window;
    auto* left = new QDockWidget(QStringLiteral("Tree"), &window);
    left->setWidget(new QTreeWidget);
    window.addDockWidget(Qt::LeftDockWidgetArea, left);
    auto* bottom = new QDockWidget(QStringLiteral("Log"), &window);
    bottom->setWidget(new QListWidget);
    window.addDockWidget(Qt::BottomDockWidgetArea, bottom);
    window.resize(1024, 768);

    QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance();
    QObject::connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, &window,
        [&window, dispatcher, announced = false]() mutable {
            if (announced || !window.isVisible() || !window.windowHandle() || !window.windowHandle()->isExposed()
                || dispatcher->hasPendingEvents())
                return;
            announced = true;
            std::fputs("idle\n", stdout);
            std::fflush(stdout);
            QCoreApplication::quit();
        });
    window.show();
    return QApplication::exec();
}
