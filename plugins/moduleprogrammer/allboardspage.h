#pragma once

#include "basewidget.h"
#include "batchprogrammer.h"
#include "programmingengine.h"

#include <QDateTime>
#include <QMap>

#include <memory>

class HexFileChooser;
class ProgrammerSettings;
class QCheckBox;
class QComboBox;
class OutcomeLabel;
class QLabel;
class QProgressBar;
class QPushButton;
class QSpinBox;
class QTableWidget;

// Programs one HEX file into the same module slot of every connected
// motherboard at once, through a BatchProgrammer, and lists each
// board's step, progress and result. Boards plugged in during a run are
// listed but not programmed. The table can be saved as a CSV report. The
// plug-in keeps this page while other pages are shown, so runs go on.
class AllBoardsPage : public BaseWidget
{
    Q_OBJECT

public:
    // The page's board ID in page requests: no board has ID 0.
    static constexpr int PageBoardID = 0;
    enum Column { ColumnBoard, ColumnModule, ColumnStep, ColumnProgress, ColumnResult, ColumnCount };

    explicit AllBoardsPage(ProgrammerSettings* settings, QWidget* parent = nullptr);
    ~AllBoardsPage() override;

    QString title() override;
    QString helpKey() override;
    bool deleteWhenReplaced() override;

    bool isProgramming() const { return m_batch->isRunning(); }
    QString fileName() const;
    void setFileName(const QString& fileName);
    // The report as CSV text, a header line first.
    Q_INVOKABLE QString report() const;
    Q_INVOKABLE bool saveReport(const QString& path);

public slots:
    void boardUpdate() override;
    void program();
    void stop();
    // The switch "Program each board as it is plugged in".
    void setProduction(bool on);
    void browse();
    void saveReportAs();

private:
    // Rows of production runs come after the boards' rows, in arrival order.
    static constexpr int RunKeyBase = 1000;

    struct Row {
        int boardID = 0;
        int row = -1;
        int slot = 0;
        QString module;
        QString result; // empty while not run
        bool left = false; // the board left after its run
        QString reason;
        QDateTime started;
        QDateTime ended;
        bool running = false;
        QProgressBar* bar = nullptr;
    };

    QList<int> connectedBoards() const;
    // The row of a board's current run; rowFor makes it (key: the board ID, or a production run's).
    Row& rowOf(int boardID);
    Row& rowFor(int boardID, int key = -1);
    // The typed file, read and checked; empty after saying what is wrong.
    QString checkedFile();
    void startRun(const QString& path, int slot);
    void boardArrived(int boardID);
    void disarmed(const QString& reason);
    void showArmed();
    void setCell(int row, Column column, const QString& text);
    void boardFinished(int boardID, const ProgrammingEngine::Result& result);
    void batchFinished(const BatchProgrammer::Summary& summary);
    void endRow(Row& row, const QString& result, const QString& reason);
    void setRunning(bool running);
    void showStatus(const QString& text, bool error = false);

    ProgrammerSettings* m_settings;
    HexFileChooser* m_chooser;
    QComboBox* m_slotCombo;
    QPushButton* m_programButton;
    QPushButton* m_stopButton;
    QPushButton* m_saveButton;
    QTableWidget* m_table;
    OutcomeLabel* m_statusLabel;

    std::map<int, Row> m_rows; // by key
    QMap<int, int> m_current; // board ID to the key of its current row
    QMap<QString, int> m_counts; // results while armed
    int m_runNumber = 0;
    int m_runSlot = 0;
    QString m_disarmReason;
    QCheckBox* m_productionSwitch;
    QSpinBox* m_limitSpin;
    QLabel* m_armedLabel;
    BatchProgrammer* m_batch;
    QString m_runFile; // of the last run
    QByteArray m_runDigest;
};
