#include "helpbrowser.h"

#include "widgetfactory.h"

#include <QDesktopServices>
#include <QLoggingCategory>

// Off by default; QT_LOGGING_RULES="kestrix.help.debug=true" shows which help
// keys a document asks for and which of them nobody answers.
Q_LOGGING_CATEGORY(lcHelp, "kestrix.help", QtWarningMsg)

HelpBrowser::HelpBrowser(QWidget* parent)
    : QTextBrowser(parent)
{
    // Every link goes through linkClicked, so web links never end up in here.
    setOpenLinks(false);
    connect(this, SIGNAL(anchorClicked(QUrl)), this, SLOT(linkClicked(QUrl)));
    // Documents name their style sheet and images by full help keys. Loading
    // a document sets its folder as the base URL, which would turn
    // "general/css/arvenholt.css" into "general/doc/general/css/arvenholt.css";
    // keep the base empty so every key arrives in loadResource as written.
    connect(document(), &QTextDocument::baseUrlChanged, this, &HelpBrowser::keepBaseUrlEmpty);
}

void HelpBrowser::keepBaseUrlEmpty()
{
    if (!document()->baseUrl().isEmpty())
        document()->setBaseUrl(QUrl());
}

QVariant HelpBrowser::loadResource(int type, const QUrl& name)
{
    const QString text = name.toString();
    const int hash = text.indexOf(QLatin1Char('#'));
    const QString key = hash < 0 ? text : text.left(hash);
    const QVariant resource = WidgetFactory::helpResource(key);
    if (resource.isValid())
        qCDebug(lcHelp, "resource %d \"%s\": found", type, qUtf8Printable(key));
    else
        qCDebug(lcHelp, "resource %d \"%s\": no document, no plug-in answered", type, qUtf8Printable(key));
    return resource;
}

void HelpBrowser::linkClicked(QUrl url)
{
    if (url.scheme() == QLatin1String("http")) {
        qCDebug(lcHelp, "web link %s to the desktop browser", qUtf8Printable(url.toString()));
        QDesktopServices::openUrl(url);
        return;
    }
    const QString text = url.toString();
    if (text.startsWith(QLatin1Char('#'))) {
        setSource(QUrl(source().toString() + text));
        return;
    }
    setSource(url);
}
