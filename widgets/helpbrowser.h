#pragma once

#include "kestrixframework_export.h"

#include <QTextBrowser>
#include <QUrl>
#include <QVariant>

// The help window's document view. Documents, style sheets and images are
// all addressed by help keys ("owner/folder/name", optionally "#anchor") and
// resolved through the widget factory, so plug-in documents and the shell's
// own documents link to each other the same way. Web links go to the
// desktop's browser.
class KESTRIXFRAMEWORK_EXPORT HelpBrowser : public QTextBrowser
{
    Q_OBJECT

public:
    explicit HelpBrowser(QWidget* parent = nullptr);

    QVariant loadResource(int type, const QUrl& name) override;

private slots:
    void linkClicked(QUrl url);

private:
    void keepBaseUrlEmpty();
};
