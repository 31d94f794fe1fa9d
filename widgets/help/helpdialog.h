#pragma once

#include "kestrixframework_export.h"

#include <QByteArray>
#include <QDialog>
#include <QUrl>

class HelpBrowser;
class QSettings;
class QSlider;
class QTreeWidget;
class QTreeWidgetItem;

// The help window: a contents tree, the document view and a slider for how
// transparent the window turns while another window is active. There is one
// per process, created on first use and only hidden when closed.
class KESTRIXFRAMEWORK_EXPORT HelpDialog : public QDialog
{
    Q_OBJECT

public:
    // The help window; created with `parent` on the first call.
    static HelpDialog* instance(QWidget* parent);
    // Deletes the help window and forgets it was opened in this run, so the
    // next instance() builds a new one (a new main window in the same process).
    static void discardInstance();

    ~HelpDialog() override;

    // Shows the document of a help key such as "general/doc/index".
    void showDocument(const QString& key);

    // Group "helpDialog" of the settings store. saveSettings writes nothing
    // when the help window was never opened, so earlier values are kept.
    static void loadSettings(QSettings* settings);
    static void saveSettings(QSettings* settings);

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private slots:
    void itemClicked(QTreeWidgetItem* item);
    void sourceChanged(QUrl source);

private:
    explicit HelpDialog(QWidget* parent);

    QSlider* transparencySlider = nullptr;
    HelpBrowser* browser = nullptr;
    QTreeWidget* contents = nullptr;

    static HelpDialog* dialog;
    static bool created;
    static QByteArray storedGeometry;
    static int transparency;
};
