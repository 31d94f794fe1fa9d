#pragma once

#include "basewidget.h"

class HexFileChooser;
class KTModule;
class MotherBoard;
class ProgrammerSettings;
class QComboBox;
class OutcomeLabel;
class QLabel;
class QPushButton;

// The page of one motherboard: shows the board, takes a HEX file (typed with
// completion, browsed or dropped) and a module slot, and runs the base
// class's programming sequence on the Program button. The outcome shows on
// the page and in the log; the file and slot are remembered per board.
class ModuleProgrammerPage : public BaseWidget
{
    Q_OBJECT

public:
    static const char* const HelpKey;

    ModuleProgrammerPage(int boardID, ProgrammerSettings* settings, QWidget* parent = nullptr);
    ~ModuleProgrammerPage() override;

    QString title() override;
    QString helpKey() override;

    int boardID() const { return m_boardID; }
    // A sequence has started and not yet reported its outcome.
    bool isProgramming() const { return programmingActive; }
    // Module slot of the last (or running) sequence.
    int moduleSlot() const { return moduleIndex; }
    QString fileName() const;
    void setFileName(const QString& fileName);

public slots:
    void boardUpdate() override;
    // The Program button.
    void program();
    // The Browse button.
    void browse();

protected:
    void prepareModule(KTModule* module) override;
    void afterProgramming() override;

private:
    enum StatusKind { StatusInfo, StatusBusy, StatusSuccess, StatusError };

    MotherBoard* connectedBoard() const;
    void fillSlots(MotherBoard* board);
    void setRunning(bool running);
    void showStatus(const QString& text, StatusKind kind);
    QString outcomeText(const ProgrammingEngine::Result& result) const;

    const int m_boardID;
    ProgrammerSettings* m_settings;

    QLabel* m_heading;
    QLabel* m_boardLabel;
    QLabel* m_firmwareLabel;
    QLabel* m_moduleLabel;
    QLabel* m_extensionLabel;
    QLabel* m_externalLabel;
    HexFileChooser* m_chooser;
    QComboBox* m_slotCombo;
    QPushButton* m_programButton;
    OutcomeLabel* m_statusLabel;

    // Of the run in progress.
    QString m_runFile;
    QString m_runTarget;
    bool m_connected = false;
};
