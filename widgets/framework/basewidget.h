#pragma once

#include "kestrixframework_export.h"
#include "kestrixstudio.h"
#include "programmingengine.h"

#include <QFileDialog>
#include <QString>
#include <QVariant>
#include <QWidget>

#include <memory>

class BaseWidgetPrivate;
class Connectable;
class KTModule;
class MotherBoard;
class QLabel;
class QLineEdit;
class QProgressDialog;
class QTreeWidgetItem;
class QUrl;

// Base class of every page in the main window's page area, the shell's own
// and the plug-ins'. Plug-in pages are compiled against this declaration:
// the order of the virtual operations, signals and slots is part of the ABI.
class KESTRIXFRAMEWORK_EXPORT BaseWidget : public QWidget
{
    Q_OBJECT

public:
    // Steps of the HEX programming sequence (programHexFile).
    enum ProgrammingState {
        StateIdle = 0,
        StateComparing = 1,
        StateProgramming = 2,
        StateVerifying = 3,
        StateFinished = 4
    };
    Q_ENUM(ProgrammingState)

    explicit BaseWidget(QWidget* parent = nullptr);
    ~BaseWidget() override;

    // Added virtual operations, in their fixed order.
    virtual bool hasUnsavedFiles();                  // 1
    virtual bool save();                             // 2
    virtual bool saveAs();                           // 3
    virtual bool deleteWhenReplaced();               // 4
    virtual void leavePage();                        // 5
    virtual bool canSave();                          // 6
    virtual void setBoard(int boardID);              // 7
    virtual void setSubtype(quint8 subtype);         // 8
    virtual bool canClose();                         // 9
    virtual bool hidesLogView();                     // 10

protected:
    virtual void prepareModule(KTModule* module);    // 11

public:
    virtual QString helpKey();                       // 12
    virtual QString title();                         // 13

signals:
    void logmessage(KestrixStudio::LogLevel level, QString message);
    void widgetChange(int type, int subtype, int subsubtype);
    void progressUpdated(int progress);
    void programmingDone(bool success);
    void titleChanged();
    void unsavedFilesChanged();

public slots:
    virtual void boardUpdate();                      // 14
    virtual void boardDisconnected();                // 15
    void programmingCheck(quint32 what, quint32 status);

protected slots:
    virtual void progressDialogCancel();             // 16
    void progDone(bool success);

protected:
    virtual void afterProgramming();                 // 17

public:
    // Progress dialog on a library object's progressUpdate(int).
    void showProgressDialog(QObject* source, const QString& windowTitle, const QString& labelText);
    void closeProgressDialog();

    // The HEX programming sequence: compare, program when different, verify.
    bool programHexFile(const QString& fileName, const QString& folder, const QString& operationText,
                        const QString& successMessage, const QString& failureMessage, int boardID,
                        int moduleIndex);

    // Page helpers.
    int askToSave(const QString& title, const QString& text);
    QLineEdit* createPathEdit();
    void addFileCompleter(QLineEdit* edit);
    QString fileDialog(QWidget* parent, const QString& caption, const QString& directory,
                       const QString& defaultSuffix, const QString& filter, QFileDialog::FileMode fileMode,
                       QFileDialog::AcceptMode acceptMode);
    QString openFileName(QWidget* parent, const QString& caption, const QString& directory,
                         const QString& filter, const QString& defaultSuffix);
    QString saveFileName(QWidget* parent, const QString& caption, const QString& directory,
                         const QString& filter, const QString& defaultSuffix);

    static QTreeWidgetItem* createMenuItem(const QString& text, QTreeWidgetItem* parent, int type, int boardID,
                                           int subtype);
    static void setItemRoles(QTreeWidgetItem* item, int type, int boardID, int subtype);
    static void setItemView(QTreeWidgetItem* item, KestrixStudio::WidgetView view);
    static void removeItemsOfType(QTreeWidgetItem* parent, int type);
    static QTreeWidgetItem* createHelpItem(const QString& text, const QString& key);
    static QVariant helpDocument(const QString& prefix, const QUrl& url);
    static bool hasProperty(QObject* object, const QString& name);
    static QLabel* createHeadingLabel(QWidget* parent);
    static void applyHeadingFont(QWidget* widget);
    static void printRow(const QString& first, const QString& second);
    static void printText(const QString& first, const QString& second);

    // Process-wide switch for extra chip types, false at start. Read it
    // freely; switch it only through setExtraChipSupport, which never turns
    // it off again.
    static bool extraChipSupport;
    static void setExtraChipSupport(bool on);

    // Folder the file dialogs open in; persisted by the main window.
    static QString hexPath;

protected:
    // The outcome of the last programHexFile, also when it stopped before
    // the module was asked (bad file, board missing, module refused).
    ProgrammingEngine::Result programmingResult() const;

    MotherBoard* motherBoard;
    Connectable* board;
    bool operationFinished;
    bool operationCanceled;
    bool progressDialogActive;
    bool operationSucceeded;
    bool programmingActive;
    bool lastProgrammingResult;
    QProgressDialog* progressDialog;
    int programmingState;
    int moduleIndex;
    KTModule* currentModule;
    QString operationText;
    QString failureMessage;
    QString successMessage;

    // The name a file dialog returns for a chosen file under a name filter:
    // when the filter lists extensions ("*.hex" followed by a blank or ")")
    // and the file's suffix is none of them (case-sensitive), the first one
    // is appended.
    static QString completeFileExtension(const QString& fileName, const QString& nameFilter);

private:
    void stepStarted(ProgrammingEngine::Step step);
    void finishOperation(const ProgrammingEngine::Result& result);
    QString connectErrorText() const;

    std::unique_ptr<BaseWidgetPrivate> d;
};
