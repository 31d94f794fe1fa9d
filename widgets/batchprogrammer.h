#pragma once

#include "kestrixframework_export.h"
#include "programmingengine.h"

#include <QMap>
#include <QObject>

#include <map>
#include <memory>

class HexModel;

// Programs one image into the same module slot of several motherboards at
// once, one ProgrammingEngine per board, and reports each board's step,
// progress and result as values, then one summary. The All boards page and
// the -program job both adapt it.
class KESTRIXFRAMEWORK_EXPORT BatchProgrammer : public QObject
{
    Q_OBJECT

public:
    struct Summary {
        QMap<QString, int> counts; // by ProgrammingReport::resultName
        int boards = 0;
        bool allGood() const;
        // "1 disconnected, 2 failed, 1 programmed"
        QString text() const;
    };

    explicit BatchProgrammer(QObject* parent = nullptr);
    ~BatchProgrammer() override;

    // Why the board cannot take an image into the slot, decided before
    // anything is written: not connected, no connector for an external
    // module, no module in the slot. Empty when it can.
    static QString problem(int boardID, int slot);

    // Who runs the batch, as others are told when they are refused.
    void setOwner(const QString& owner) { m_owner = owner; }

    // Starts every board at once (program memory, whatever a page set up
    // before); a board with a problem ends at once as failed. finished()
    // follows the last board, also when none could start. False, and
    // nothing done, while a batch runs.
    bool start(const QList<int>& boards, int slot, const HexModel& image);
    // Ends every board's run at once.
    void cancel();
    bool isRunning() const { return m_running; }

signals:
    void boardStep(int boardID, ProgrammingEngine::Step step);
    void boardProgress(int boardID, ProgrammingEngine::Step step, int percent);
    void boardStepEnded(int boardID, ProgrammingEngine::Step step, quint32 status);
    void boardFinished(int boardID, const ProgrammingEngine::Result& result);
    void finished(const BatchProgrammer::Summary& summary);

private:
    void boardEnded(int boardID, const ProgrammingEngine::Result& result);

    QString m_owner;
    bool m_running = false;
    bool m_starting = false;
    std::map<int, std::unique_ptr<ProgrammingEngine>> m_engines;
    Summary m_summary;
};
