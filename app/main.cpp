#include "basewidget.h"
#include "km4200.h"
#include "startupoptions.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    QCoreApplication::setAttribute(Qt::AA_UseHighDpiPixmaps);

    auto* app = new QApplication(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Kestrix Studio"));
    QCoreApplication::setOrganizationName(QStringLiteral("Arvenholt Labs"));

    const StartupOptions options = StartupOptions::parse(QCoreApplication::arguments());
    auto* window = new KM4200(options.defaultSettingsMode ? KM4200::ModeDefaultSettings : KM4200::ModeNormal);
    BaseWidget::setExtraChipSupport(options.extraChipSupport);

    window->show();
    const int status = QApplication::exec();

    delete window;
    delete app;
    return status;
}
