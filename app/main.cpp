#include "basewidget.h"
#include "km4200.h"
#include "startupoptions.h"
#include "widgetfactory.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QWindow>

#include <cstdio>

namespace
{

// KESTRIX_QUIT_WHEN_IDLE=1 ends the run as soon as the window is on screen and
// the event loop has nothing left to do. The line "idle" on standard output
// marks that moment for the start-up benchmark: what follows is teardown,
// which the user does not wait for.
void quitWhenIdle(QWidget* window)
{
    QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance();
    QObject::connect(
        dispatcher, &QAbstractEventDispatcher::aboutToBlock, window, [window, dispatcher, announced = false]() mutable {
            if (announced || !window->isVisible() || !window->windowHandle() || !window->windowHandle()->isExposed())
                return;
            // The signal comes before every wait, even one that events cut
            // short: idle only when nothing is left to dispatch.
            if (dispatcher->hasPendingEvents())
                return;
            // The loop may block once more before it sees the quit.
            announced = true;
            std::fputs("idle\n", stdout);
            std::fflush(stdout);
            QCoreApplication::quit();
        });
}

} // namespace

int main(int argc, char* argv[])
{
    // Without a display (an SSH session, a CI job) the command-line jobs still
    // run; only the window cannot open.
    const bool headless = qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")
        && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
    if (headless)
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    QCoreApplication::setAttribute(Qt::AA_UseHighDpiPixmaps);

    auto* app = new QApplication(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Kestrix Studio"));
    QCoreApplication::setOrganizationName(QStringLiteral("Arvenholt Labs"));

    if (QCoreApplication::arguments().contains(QStringLiteral("--version"))) {
        std::printf("Kestrix Studio %s\n", qPrintable(KM4200::version()));
        delete app;
        return 0;
    }
    const StartupOptions options = StartupOptions::parse(QCoreApplication::arguments());
    auto* window = new KM4200(options.defaultSettingsMode ? KM4200::ModeDefaultSettings : KM4200::ModeNormal);
    BaseWidget::setExtraChipSupport(options.extraChipSupport);

    // "-h" or a plug-in's command-line job ended the run during construction.
    int status = WidgetFactory::exitCode();
    if (!window->commandLineConsumed() && headless) {
        std::fprintf(stderr, "Kestrix Studio needs a display to open its window; command-line jobs are listed by -h\n");
        status = 2;
    } else if (!window->commandLineConsumed()) {
        if (qEnvironmentVariableIntValue("KESTRIX_QUIT_WHEN_IDLE") != 0)
            quitWhenIdle(window);
        window->show();
        status = QApplication::exec();
    }

    delete window;
    // While the application object still exists, so plug-in objects go down
    // in order rather than at process exit.
    WidgetFactory::unloadPlugins();
    delete app;
    return status;
}
