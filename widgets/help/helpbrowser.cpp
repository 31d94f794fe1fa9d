#include "helpbrowser.h"

#include "statuscolors.h"
#include "widgetfactory.h"

#include <QAbstractTextDocumentLayout>
#include <QDesktopServices>
#include <QLoggingCategory>
#include <QPainter>
#include <QPixmap>
#include <QPixmapCache>
#include <QRegularExpression>
#include <QTextDocument>
#include <QTextFormat>

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
    // Qt's own image drawing scales without smoothing.
    document()->documentLayout()->registerHandler(QTextFormat::ImageObject, this);
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
    QVariant resource = WidgetFactory::helpResource(key);
    if (type == QTextDocument::StyleSheetResource && resource.canConvert<QByteArray>())
        resource = readableStyleSheet(resource.toByteArray());
    if (resource.isValid())
        qCDebug(lcHelp, "resource %d \"%s\": found", type, qUtf8Printable(key));
    else
        qCDebug(lcHelp, "resource %d \"%s\": no document, no plug-in answered", type, qUtf8Printable(key));
    return resource;
}

QByteArray HelpBrowser::readableStyleSheet(const QByteArray& css) const
{
    // The documents' colours are chosen for white paper: on this palette each
    // is made lighter or darker until it reads, and black lines take the text colour.
    const QColor paper = palette().color(QPalette::Base);
    QString text = QString::fromUtf8(css);
    static const QRegularExpression colour(QStringLiteral("(\\bcolor\\s*:\\s*)(#[0-9a-fA-F]{3,6}|[a-zA-Z]+)"));
    QString adapted;
    int from = 0;
    for (auto it = colour.globalMatch(text); it.hasNext();) {
        const QRegularExpressionMatch match = it.next();
        const QColor wanted(match.captured(2));
        adapted += text.mid(from, match.capturedStart(2) - from);
        adapted += wanted.isValid() ? StatusColors::readable(wanted, paper).name() : match.captured(2);
        from = match.capturedEnd(2);
    }
    adapted += text.mid(from);
    adapted.replace(
        QStringLiteral("solid black"), QStringLiteral("solid %1").arg(palette().color(QPalette::Text).name()));
    return adapted.toUtf8();
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

QImage HelpBrowser::image(QTextDocument* doc, const QUrl& name)
{
    const QVariant resource = doc->resource(QTextDocument::ImageResource, name);
    switch (resource.userType()) {
    case QMetaType::QImage:
        return resource.value<QImage>();
    case QMetaType::QPixmap:
        return resource.value<QPixmap>().toImage();
    case QMetaType::QByteArray: {
        QImage decoded;
        if (decoded.loadFromData(resource.toByteArray()))
            doc->addResource(QTextDocument::ImageResource, name, decoded);
        else
            qCWarning(lcHelp, "image \"%s\" cannot be decoded", qUtf8Printable(name.toString()));
        return decoded;
    }
    default:
        return QImage();
    }
}

QSizeF HelpBrowser::intrinsicSize(QTextDocument* doc, int, const QTextFormat& format)
{
    const QTextImageFormat imageFormat = format.toImageFormat();
    const QImage picture = image(doc, QUrl(imageFormat.name()));
    // A missing image keeps a small empty place, as in a web browser.
    const QSizeF natural = picture.isNull() ? QSizeF(16, 16) : QSizeF(picture.size());
    const bool hasWidth = imageFormat.hasProperty(QTextFormat::ImageWidth);
    const bool hasHeight = imageFormat.hasProperty(QTextFormat::ImageHeight);
    if (hasWidth && hasHeight)
        return QSizeF(imageFormat.width(), imageFormat.height());
    if (hasWidth)
        return QSizeF(imageFormat.width(), imageFormat.width() * natural.height() / natural.width());
    if (hasHeight)
        return QSizeF(imageFormat.height() * natural.width() / natural.height(), imageFormat.height());
    return natural;
}

void HelpBrowser::drawObject(QPainter* painter, const QRectF& rect, QTextDocument* doc, int, const QTextFormat& format)
{
    // Scaled once per key and size; the process-wide pixmap cache keeps it.
    const QString name = format.toImageFormat().name();
    const QSize target = (rect.size() * painter->device()->devicePixelRatioF()).toSize();
    const QString cacheKey = QStringLiteral("kestrix-help:%1:%2x%3").arg(name).arg(target.width()).arg(target.height());
    QPixmap scaled;
    if (!QPixmapCache::find(cacheKey, &scaled)) {
        const QImage picture = image(doc, QUrl(name));
        if (picture.isNull())
            return;
        scaled = QPixmap::fromImage(target.isEmpty() || target == picture.size()
                ? picture
                : picture.scaled(target, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
        QPixmapCache::insert(cacheKey, scaled);
    }
    painter->save();
    painter->setRenderHint(QPainter::SmoothPixmapTransform);
    painter->drawPixmap(rect, scaled, QRectF(scaled.rect()));
    painter->restore();
}
