#pragma once

#include "km4200ctrl_export.h"

#include <QFlags>
#include <QObject>

class HexModel;
class Infopage;
class QSettings;

// A radio module in one slot of a motherboard. Operations are asynchronous:
// they return at once, report progress through progressUpdate(int) and end
// in exactly one operationDone(what, status).
class KM4200CTRL_EXPORT KTModule : public QObject
{
    Q_OBJECT

public:
    enum MemoryType {
        MemoryNormal = 0,
        MemoryOTP = 1
    };
    Q_ENUM(MemoryType)

    enum ProgrammableMemoryPart {
        MemoryPartNone = 0,
        MemoryPartCode = 1,
        MemoryPartProgram = 2,
        MemoryPartInfopage = 4,
        MemoryPartVerify = MemoryPartCode | MemoryPartInfopage
    };
    Q_DECLARE_FLAGS(ProgrammableMemoryParts, ProgrammableMemoryPart)
    Q_FLAG(ProgrammableMemoryParts)

    // What operationDone reports.
    enum Operation : quint32 {
        OperationProgramming = 0,
        OperationVerifying = 1
    };

    explicit KTModule(QObject* parent = nullptr);
    ~KTModule() override;

    HexModel* getModel();
    virtual Infopage* infopage();

    void setMemoryParts(QFlags<ProgrammableMemoryPart> parts);
    void setTargetMemoryType(MemoryType type);

    // Must be set before startProgramming(); cleared when an operation ends.
    bool startFlag = false;

    bool startProgramming();
    bool startVerifying();
    void abort();

    static void loadSettings(QSettings* settings);
    static void saveSettings(QSettings* settings);

signals:
    void operationDone(quint32 what, quint32 status);
    void progressUpdate(int progress);
};

Q_DECLARE_OPERATORS_FOR_FLAGS(KTModule::ProgrammableMemoryParts)
