#pragma once

#include "kestrixframework_export.h"

#include <QDialog>
#include <QList>
#include <QMap>
#include <QString>

class PluginInfo;

// The about box: icon, name, version, copyright, the outside projects with
// their licences, and the loaded plug-ins. The platform's Copy key puts the
// same facts on the clipboard as plain text, for support requests.
class KESTRIXFRAMEWORK_EXPORT AboutStudio : public QDialog
{
    Q_OBJECT

public:
    // Builds the box and runs it modally; it deletes itself when closed.
    static void showAbout(QWidget* parent, const QString& applicationName, const QString& version);

    // The projects used, each with "Name", "License" and "LicenseLink".
    static QList<QMap<QString, QString>> projectsUsed();

    // The maker's notice, also logged by the main window at start-up.
    static QString copyrightNotice();

    // The clipboard text for a box titled `windowTitle`.
    static QString copyText(const QString& windowTitle, const QString& version, const QList<PluginInfo*>& plugins);

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    AboutStudio(QWidget* parent, const QString& applicationName);

    static QString version;
};
