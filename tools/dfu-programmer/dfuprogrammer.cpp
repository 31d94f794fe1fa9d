#include "dfuprogrammer.h"

#include "benchfile.h"
#include "hexmodel.h"
#include "hexparser.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTextStream>
#include <QThread>

namespace
{
// Targets the tool knows; the KM4200 carries an at90usb1287.
const QStringList KnownTargets { QStringLiteral("at90usb1287"), QStringLiteral("at90usb1286"),
    QStringLiteral("at90usb647"), QStringLiteral("at90usb646"), QStringLiteral("atmega32u4"),
    QStringLiteral("atmega16u2") };
const QString BoardTarget = QStringLiteral("at90usb1287");

QString hex(quint64 value)
{
    return QStringLiteral("0x") + QString::number(value, 16).toUpper();
}
} // namespace

int DfuProgrammer::usage(QTextStream& err, const QString& problem)
{
    if (!problem.isEmpty())
        err << "dfu-programmer: " << problem << "\n";
    err << "Usage: dfu-programmer target command [options] [file]\n"
           "  targets: "
        << KnownTargets.join(QStringLiteral(", "))
        << "\n"
           "  commands: flash [--suppress-validation] [--force] file.hex\n";
    err.flush();
    return ExitArgumentError;
}

void DfuProgrammer::pause(int ms)
{
    if (ms > 0)
        QThread::msleep(ulong(ms));
}

int DfuProgrammer::firmwareNumber(const QString& fileName)
{
    static const QRegularExpression pattern(QStringLiteral("^KestrixFirmware_(\\d+)\\.hex$"));
    const auto match = pattern.match(QFileInfo(fileName).fileName());
    if (!match.hasMatch())
        return -1;
    bool ok = false;
    const qulonglong number = match.captured(1).toULongLong(&ok);
    return ok ? int(number & 0xffff) : -1;
}

int DfuProgrammer::run(const QStringList& arguments, QTextStream& err)
{
    if (arguments.size() == 1
        && (arguments.first() == QLatin1String("--help") || arguments.first() == QLatin1String("-h"))) {
        usage(err, QString());
        return ExitSuccess;
    }
    if (arguments.size() == 1 && arguments.first() == QLatin1String("--version")) {
        err << "dfu-programmer (Kestrix bench simulation) 1.0\n";
        return ExitSuccess;
    }
    if (arguments.size() < 2)
        return usage(
            err, arguments.isEmpty() ? QStringLiteral("no target given.") : QStringLiteral("no command given."));
    const QString target = arguments.at(0);
    if (!KnownTargets.contains(target))
        return usage(err, QStringLiteral("unknown target '%1'.").arg(target));
    const QString command = arguments.at(1);
    if (command != QLatin1String("flash"))
        return usage(err, QStringLiteral("unknown command '%1'.").arg(command));
    bool validate = true;
    QString fileName;
    for (int i = 2; i < arguments.size(); ++i) {
        const QString& a = arguments.at(i);
        if (a == QLatin1String("--suppress-validation"))
            validate = false;
        else if (a == QLatin1String("--force"))
            continue;
        else if (a.startsWith(QLatin1String("--")))
            return usage(err, QStringLiteral("unknown option '%1'.").arg(a));
        else if (fileName.isEmpty())
            fileName = a;
        else
            return usage(err, QStringLiteral("more than one file given."));
    }
    if (fileName.isEmpty())
        return usage(err, QStringLiteral("flash needs a HEX file."));

    // The device comes first: without one the file is never read.
    const QString benchPath = qEnvironmentVariable("KM4200_BENCH");
    BenchFile bench;
    const BenchFile::Device* device = nullptr;
    if (target == BoardTarget && !benchPath.isEmpty() && bench.load(benchPath))
        device = bench.firstReportingBootloader();
    if (!device) {
        err << "dfu-programmer: no device present.\n";
        return ExitNoDevice;
    }
    const QString group = device->group;
    const int toolMs = bench.toolMs();

    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        err << "Error opening " << fileName << "\n";
        return ExitFileError;
    }
    HexModel image;
    HexParser parser;
    if (!parser.parse(file.readAll(), &image)) {
        if (parser.isValidationError())
            err << "Error: Line " << parser.errorLine() << " does not validate.\n";
        else
            err << "Error reading line " << parser.errorLine() << ".\n";
        return ExitFileError;
    }
    if (image.endAddress() > BootloaderStart) {
        err << "Error: the data reach " << hex(image.endAddress() - 1) << ", inside the bootloader area from "
            << hex(BootloaderStart) << ".\n";
        return ExitFileError;
    }

    const qint64 bytes = image.byteCount();
    err << "Checking memory from 0x0 to " << hex(BootloaderStart - 1) << "...  Not blank.\n";
    err << "Erasing flash...  Success\n";
    err.flush();
    pause(toolMs / 4);
    err << "Programming " << hex(quint64(bytes)) << " bytes...\n";
    err.flush();
    pause(toolMs / 2);
    err << "Success\n";
    if (validate) {
        err << "Validating...  ";
        err.flush();
        pause(toolMs / 4);
        err << "Success\n";
    }
    err << hex(quint64(bytes)) << " bytes written into " << hex(BootloaderStart) << " bytes memory ("
        << QString::number(100.0 * double(bytes) / double(BootloaderStart), 'f', 2) << "%).\n";
    err.flush();

    // The device may have been unplugged while the tool ran: never write
    // firmware for a group that is gone (that would add one without an id).
    BenchFile now;
    const BenchFile::Device* still = now.load(benchPath) ? now.deviceById(device->id) : nullptr;
    if (!still || still->group != group || !still->isReportingBootloader()) {
        err << "dfu-programmer: no device present.\n";
        return ExitFailure;
    }

    const int number = firmwareNumber(fileName);
    if (number >= 0) {
        QString error;
        if (!BenchFile::updateKey(benchPath, group, QStringLiteral("firmware"), QString::number(number), &error)) {
            err << "dfu-programmer: the device did not take the firmware: " << error << "\n";
            return ExitFailure;
        }
    }
    return ExitSuccess;
}
