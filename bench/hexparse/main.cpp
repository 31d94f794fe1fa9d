// Parses a generated Intel HEX file of a 1 MiB image and compares the time
// with `objcopy -I ihex -O binary` on the same file, run as a whole process.
// Prints "name: value" lines; ratio_vs_objcopy (ours over objcopy's) comes last.

#include "hexmodel.h"
#include "hexparser.h"
#include "hexwriter.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>
#include <vector>

namespace
{

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    const int rounds = 15;

    QTemporaryDir dir;
    if (!dir.isValid()) {
        out << "error: no temporary folder\n";
        return 1;
    }
    // 1 MiB of varied bytes in 16-byte records: about 2.9 MB of text.
    QByteArray bytes(1 << 20, Qt::Uninitialized);
    QRandomGenerator random(4200);
    random.fillRange(reinterpret_cast<quint32*>(bytes.data()), bytes.size() / 4);
    HexModel image;
    image.write(0, bytes);
    const QString hexFile = dir.filePath(QStringLiteral("image.hex"));
    {
        QFile file(hexFile);
        if (!file.open(QIODevice::WriteOnly) || file.write(HexWriter::write(image, 16, true)) < 0) {
            out << "error: cannot write " << hexFile << "\n";
            return 1;
        }
    }
    const double textBytes = double(QFile(hexFile).size());

    std::vector<double> ours;
    HexParser parser;
    for (int i = 0; i < rounds; ++i) {
        HexModel model;
        QElapsedTimer timer;
        timer.start();
        const bool ok = parser.parseFile(hexFile, &model);
        ours.push_back(double(timer.nsecsElapsed()) / 1e6);
        if (!ok || !model.sameContent(image)) {
            out << "error: parse failed: " << parser.errorString() << "\n";
            return 1;
        }
    }
    const double oursMs = median(ours);

    out << "file_bytes: " << qint64(textBytes) << "\n";
    out << "image_bytes: " << bytes.size() << "\n";
    out << "parse_ms: " << QString::number(oursMs, 'f', 3) << "\n";
    out << "mb_per_s: " << QString::number(textBytes / 1e6 / (oursMs / 1e3), 'f', 1) << "\n";

    const QString objcopy = QStandardPaths::findExecutable(QStringLiteral("objcopy"));
    if (objcopy.isEmpty()) {
        out << "objcopy_ms: n/a\n";
        out << "ratio_vs_objcopy: n/a\n";
        return 0;
    }
    std::vector<double> theirs;
    const QString binFile = dir.filePath(QStringLiteral("image.bin"));
    for (int i = 0; i < rounds; ++i) {
        QProcess process;
        QElapsedTimer timer;
        timer.start();
        process.start(objcopy,
            { QStringLiteral("-I"), QStringLiteral("ihex"), QStringLiteral("-O"), QStringLiteral("binary"), hexFile,
                binFile });
        if (!process.waitForFinished(60000) || process.exitCode() != 0) {
            out << "error: objcopy failed\n";
            return 1;
        }
        theirs.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    const double theirsMs = median(theirs);
    out << "objcopy_ms: " << QString::number(theirsMs, 'f', 3) << "\n";
    out << "ratio_vs_objcopy: " << QString::number(oursMs / theirsMs, 'f', 3) << "\n";
    return 0;
}
