#include "ktmodule.h"

#include "boardbackend.h"
#include "boardlog.h"
#include "hexmodel.h"
#include "infopage.h"
#include "motherboard.h"

#include <QPointer>
#include <QSettings>
#include <QTimer>

namespace
{
int s_ispDeviceType = 13;
int s_progressSteps = 10;

const QString SettingsGroup = QStringLiteral("km4200ctrl");

quint16 crc16(const QByteArray& data)
{
    quint16 crc = 0xffff;
    for (char c : data) {
        crc ^= quint16(quint8(c)) << 8;
        for (int i = 0; i < 8; ++i)
            crc = (crc & 0x8000) ? quint16((crc << 1) ^ 0x1021) : quint16(crc << 1);
    }
    return crc;
}
} // namespace

KTModule::KTModule(QObject* parent)
    : QObject(parent)
    , m_model(new HexModel)
    , m_infopage(new Infopage)
    , m_timer(new QTimer(this))
{
    m_timer->setSingleShot(true);
    connect(m_timer, &QTimer::timeout, this, &KTModule::tick);
}

KTModule::KTModule(MotherBoard* board, int slot)
    : KTModule(static_cast<QObject*>(board))
{
    m_board = board;
    m_slot = slot;
}

KTModule::~KTModule()
{
    delete m_model;
    delete m_infopage;
}

HexModel* KTModule::getModel()
{
    return m_model;
}

Infopage* KTModule::infopage()
{
    return m_infopage;
}

void KTModule::setMemoryParts(QFlags<ProgrammableMemoryPart> parts)
{
    m_parts = parts;
}

void KTModule::setTargetMemoryType(MemoryType type)
{
    m_memoryType = type;
}

bool KTModule::startProgramming()
{
    return start(OperationProgramming);
}

bool KTModule::startVerifying()
{
    return start(OperationVerifying);
}

quint32 KTModule::startProblem() const
{
    if (!m_board || !BoardBackend::instance()->isConnected(m_board))
        return StatusDeviceLost;
    if (!m_board->hasModuleInSlot(m_slot))
        return StatusNoModule;
    return StatusSuccess;
}

bool KTModule::start(Operation what)
{
    if (isBusy())
        return false;
    quint32 problem = startProblem();
    if (what == OperationProgramming && !startFlag && problem == StatusSuccess)
        problem = StatusNotReady;
    // A verification that cannot start only says so by its result.
    if (what == OperationVerifying && problem != StatusSuccess)
        return false;
    qCDebug(lcBoard) << "board" << (m_board ? m_board->getBoardID() : -1) << "slot" << m_slot
                     << (what == OperationProgramming ? "programming" : "verifying")
                     << (problem == StatusSuccess ? "starts" : "cannot start, status") << problem;
    m_running = int(what);
    m_step = 0;
    m_notStarted = problem;
    ++m_serial;
    m_timer->start(0);
    return problem == StatusSuccess;
}

void KTModule::tick()
{
    if (m_running < 0)
        return;
    if (m_notStarted != StatusSuccess) {
        finish(m_notStarted);
        return;
    }
    const quint64 serial = m_serial;
    const int steps = qMax(1, s_progressSteps);
    // A receiver may run an event loop that aborts, starts anew or deletes
    // this module with its board.
    QPointer<KTModule> self(this);
    emit progressUpdate(m_step * 100 / steps);
    if (!self || serial != m_serial || m_running < 0)
        return;
    if (m_step < steps) {
        ++m_step;
        m_timer->start(qMax(1, BoardBackend::instance()->operationMs() / steps));
        return;
    }
    QString problem;
    const quint32 status = m_running == OperationProgramming ? program(&problem) : verify();
    finish(status, problem);
}

void KTModule::finish(quint32 status, const QString& problem)
{
    const auto what = quint32(m_running);
    m_timer->stop();
    m_running = -1;
    startFlag = false;
    ++m_serial;
    qCDebug(lcBoard) << "slot" << m_slot << "operation" << what << "ends with status" << status;
    // The state is final before anybody hears of it.
    QPointer<KTModule> self(this);
    if (!problem.isEmpty())
        BoardBackend::instance()->log(2, problem);
    if (self)
        emit operationDone(what, status);
}

void KTModule::abort()
{
    abortWith(StatusAborted);
}

void KTModule::abortWith(quint32 status)
{
    if (m_running >= 0)
        finish(status);
}

HexModel KTModule::expectedImage() const
{
    if (!m_model->isEmpty() || !m_board || !m_board->defaultMode())
        return *m_model;
    if (!m_infopage->content().isEmpty()) {
        HexModel block;
        block.write(DefaultBlockAddress, m_infopage->content());
        return block;
    }
    return defaultSettingsImage();
}

quint32 KTModule::program(QString* problem)
{
    const HexModel image = expectedImage();
    const quint32 status = BoardBackend::instance()->programModule(m_board, m_slot, m_memoryType, image, problem);
    if (status == StatusSuccess && m_model->isEmpty() && m_board->defaultMode() && m_infopage->content().isEmpty())
        m_infopage->setContent(image.segments().value(DefaultBlockAddress));
    return status;
}

quint32 KTModule::verify()
{
    return BoardBackend::instance()->verifyModule(m_board, m_slot, m_memoryType, expectedImage());
}

HexModel KTModule::memory(MemoryType type) const
{
    return BoardBackend::instance()->moduleMemory(m_board, m_slot, type);
}

HexModel KTModule::defaultSettingsImage() const
{
    QByteArray block(128, char(0xff));
    block.replace(0, 4, "KTDS");
    block[4] = 1; // layout version
    block[5] = char(m_slot);
    block[6] = char(m_board ? m_board->getBoardID() : 0);
    block[7] = char(m_slot == MotherBoard::SlotISP && m_board ? m_board->ispDeviceType() : 0);
    QString name;
    if (m_board) {
        if (m_slot == MotherBoard::SlotExtensionBoard)
            name = m_board->extensionName();
        else if (m_slot == MotherBoard::SlotISP)
            name = QStringLiteral("ISP %1").arg(m_board->ispDeviceType());
        else
            name = m_board->moduleName();
    }
    QByteArray nameBytes = name.toUtf8().left(32);
    nameBytes.append(QByteArray(32 - nameBytes.size(), '\0'));
    block.replace(8, 32, nameBytes);
    // Radio defaults: channel, transmit power, UART speed index, flags.
    const char radio[] = { 11, 0x7f, 4, 0x01 };
    block.replace(40, 4, QByteArray(radio, 4));
    const quint16 crc = crc16(block.left(126));
    block[126] = char(crc >> 8);
    block[127] = char(crc & 0xff);
    HexModel image;
    image.write(DefaultBlockAddress, block);
    return image;
}

void KTModule::loadSettings(QSettings* settings)
{
    if (!settings)
        return;
    settings->beginGroup(SettingsGroup);
    s_ispDeviceType = settings->value(QStringLiteral("ispDeviceType"), s_ispDeviceType).toInt();
    s_progressSteps = qBound(1, settings->value(QStringLiteral("progressSteps"), s_progressSteps).toInt(), 100);
    settings->endGroup();
}

void KTModule::saveSettings(QSettings* settings)
{
    if (!settings)
        return;
    settings->beginGroup(SettingsGroup);
    settings->setValue(QStringLiteral("ispDeviceType"), s_ispDeviceType);
    settings->setValue(QStringLiteral("progressSteps"), s_progressSteps);
    settings->endGroup();
}

int KTModule::defaultISPDeviceType()
{
    return s_ispDeviceType;
}

void KTModule::setDefaultISPDeviceType(int type)
{
    s_ispDeviceType = type;
}

int KTModule::progressSteps()
{
    return s_progressSteps;
}
