#include "aboutstudio.h"

#include "plugininfo.h"
#include "widgetfactory.h"

#include <QApplication>
#include <QClipboard>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QVBoxLayout>

QString AboutStudio::version;

namespace
{

const QString separator = QStringLiteral("---------------------------");

// Bold, and scaled from the label's own default size (fraction dropped).
QLabel* headingLabel(const QString& text, int percent)
{
    auto* label = new QLabel(text);
    QFont font = label->font();
    if (font.pointSize() > 0)
        font.setPointSize(font.pointSize() * percent / 100);
    font.setWeight(QFont::Bold);
    label->setFont(font);
    return label;
}

// "1.2", "1.10": both numbers in decimal (they are quint8, not characters).
QString versionText(const PluginInfo* info)
{
    return QStringLiteral("%1.%2").arg(uint(info->majorVersion())).arg(uint(info->minorVersion()));
}

} // namespace

QList<QMap<QString, QString>> AboutStudio::projectsUsed()
{
    static const QList<QMap<QString, QString>> projects = [] {
        auto entry = [](const char* name, const char* license, const char* link) {
            QMap<QString, QString> map;
            map.insert(QStringLiteral("Name"), QString::fromLatin1(name));
            map.insert(QStringLiteral("License"), QString::fromLatin1(license));
            map.insert(QStringLiteral("LicenseLink"), QString::fromLatin1(link));
            return map;
        };
        return QList<QMap<QString, QString>> {
            entry("Qt", "LGPL 2.1", "https://www.qt.io/licensing/"),
            entry("Qxt", "LGPL 2.1", "http://doc.libqxt.org/"),
            entry("Qwt", "Qwt Licence Version 1.0", "https://qwt.sourceforge.io/"),
        };
    }();
    return projects;
}

void AboutStudio::showAbout(QWidget* parent, const QString& applicationName, const QString& version)
{
    AboutStudio::version = version;
    auto* box = new AboutStudio(parent, applicationName);
    box->exec();
}

AboutStudio::AboutStudio(QWidget* parent, const QString& applicationName)
    : QDialog(parent,
        Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint
            | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(tr("About %1").arg(applicationName));

    // The main window's icon; the embedded one when the box has no such parent.
    QIcon icon = windowIcon();
    if (icon.isNull())
        icon = QIcon(QStringLiteral(":/km4200.ico"));
    auto* iconLabel = new QLabel;
    iconLabel->setObjectName(QStringLiteral("icon"));
    iconLabel->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    iconLabel->setPixmap(icon.pixmap(icon.actualSize(QSize(64, 64))));

    auto* heading = new QVBoxLayout;
    heading->setContentsMargins(16, 0, 0, 0);
    heading->addWidget(headingLabel(applicationName, 130));
    heading->addWidget(new QLabel(tr("Version: %1").arg(version)));
    heading->addWidget(new QLabel(copyrightNotice()));

    auto* projects = new QGridLayout;
    projects->setContentsMargins(16, 0, 0, 0);
    projects->addWidget(headingLabel(tr("Projects used"), 110), 0, 0, 1, 2);
    projects->addWidget(headingLabel(tr("Project"), 110), 1, 0);
    projects->addWidget(headingLabel(tr("License"), 110), 1, 1);
    int row = 2;
    for (const QMap<QString, QString>& project : projectsUsed()) {
        projects->addWidget(new QLabel(project.value(QStringLiteral("Name"))), row, 0);
        auto* link = new QLabel(
            QStringLiteral("<a href='%1'>%2</a>")
                .arg(project.value(QStringLiteral("LicenseLink")), project.value(QStringLiteral("License"))));
        link->setTextFormat(Qt::RichText);
        link->setOpenExternalLinks(true);
        // Mouse only: a label with keyboard access would take Ctrl+C for itself.
        link->setTextInteractionFlags(Qt::LinksAccessibleByMouse);
        link->setToolTip(project.value(QStringLiteral("LicenseLink")));
        projects->addWidget(link, row, 1);
        ++row;
    }

    auto* plugins = new QGridLayout;
    plugins->setObjectName(QStringLiteral("plugins"));
    plugins->setContentsMargins(16, 0, 0, 0);
    plugins->addWidget(headingLabel(tr("Loaded plugins:"), 110), 0, 0, 1, 2);
    plugins->addWidget(headingLabel(tr("Plugin Name"), 110), 1, 0);
    plugins->addWidget(headingLabel(tr("Version"), 110), 1, 1);
    row = 2;
    const QList<PluginInfo*> infos = WidgetFactory::pluginInfos();
    for (PluginInfo* info : infos) {
        plugins->addWidget(new QLabel(info->pluginName()), row, 0);
        plugins->addWidget(new QLabel(versionText(info)), row, 1);
        ++row;
    }

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok);
    buttons->setCenterButtons(true);
    connect(buttons, SIGNAL(clicked(QAbstractButton*)), this, SLOT(close()));

    setContentsMargins(24, 15, 24, 20);
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setHorizontalSpacing(0);
    grid->setSizeConstraint(QLayout::SetNoConstraint);
    grid->addWidget(iconLabel, 0, 0, 3, 1, Qt::AlignLeft | Qt::AlignTop);
    grid->addLayout(heading, 0, 1);
    grid->addLayout(projects, 1, 1);
    grid->addLayout(plugins, 2, 1);
    grid->addWidget(buttons, 3, 0, 1, 2, Qt::AlignHCenter);

    // Fixed size where the window system does not honour the dialog hint.
    setFixedSize(sizeHint());
}

QString AboutStudio::copyText(const QString& windowTitle, const QString& version, const QList<PluginInfo*>& plugins)
{
    QString text;
    auto line = [&text](const QString& content) {
        text += content;
        text += QLatin1Char('\n');
    };
    line(separator);
    line(windowTitle);
    line(separator);
    line(tr("Version: %1").arg(version));
    line(separator);
    line(QStringLiteral("Projects used"));
    line(separator);
    for (const QMap<QString, QString>& project : projectsUsed())
        line(QStringLiteral("%1 - %2 (%3)")
                 .arg(project.value(QStringLiteral("Name")), project.value(QStringLiteral("License")),
                     project.value(QStringLiteral("LicenseLink"))));
    line(QString());
    line(separator);
    line(QStringLiteral("Plugins loaded"));
    line(separator);
    for (PluginInfo* info : plugins)
        line(info->pluginName() + QLatin1Char('\t') + versionText(info));
    return text;
}

void AboutStudio::keyPressEvent(QKeyEvent* event)
{
    // Escape included: the box closes by its button or the title bar only.
    if (event->matches(QKeySequence::Copy))
        QApplication::clipboard()->setText(copyText(windowTitle(), version, WidgetFactory::pluginInfos()));
    event->accept();
}

QString AboutStudio::copyrightNotice()
{
    return tr("Copyright \u00A9 2008-2015 Arvenholt Labs. All rights reserved.");
}
