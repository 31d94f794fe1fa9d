#pragma once

#include "kestrixframework_export.h"

#include <QImage>
#include <QTextBrowser>
#include <QTextObjectInterface>
#include <QUrl>
#include <QVariant>

// The help window's document view. Documents, style sheets and images are
// all addressed by help keys ("owner/folder/name", optionally "#anchor") and
// resolved through the widget factory, so plug-in documents and the shell's
// own documents link to each other the same way. Web links go to the
// desktop's browser. It also draws the documents' images, so a screenshot
// shown smaller than its natural size is scaled smoothly.
class KESTRIXFRAMEWORK_EXPORT HelpBrowser : public QTextBrowser, public QTextObjectInterface
{
    Q_OBJECT
    Q_INTERFACES(QTextObjectInterface)

public:
    explicit HelpBrowser(QWidget* parent = nullptr);

    QVariant loadResource(int type, const QUrl& name) override;

    // Images of the documents (QTextObjectInterface).
    QSizeF intrinsicSize(QTextDocument* doc, int posInDocument, const QTextFormat& format) override;
    void drawObject(QPainter* painter, const QRectF& rect, QTextDocument* doc, int posInDocument,
        const QTextFormat& format) override;

private slots:
    void linkClicked(QUrl url);

private:
    // The style sheet with its colours made readable on this browser's palette.
    QByteArray readableStyleSheet(const QByteArray& css) const;
    void keepBaseUrlEmpty();
    static QImage image(QTextDocument* doc, const QUrl& name);
};
