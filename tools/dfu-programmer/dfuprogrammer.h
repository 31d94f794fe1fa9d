#pragma once

#include <QStringList>

class QTextStream;

// The firmware tool: "dfu-programmer <target> flash [options] <file.hex>".
// Everything it says goes to the error stream, as with the real tool.
// Exit codes: 0 flashed; 1 the device left while flashing, or the bench
// could not be updated; 2 argument error;
// 3 no device in its bootloader; 4 file unreadable, not valid Intel HEX or
// reaching the bootloader area.
class DfuProgrammer
{
public:
    enum ExitCode { ExitSuccess = 0, ExitFailure = 1, ExitArgumentError = 2, ExitNoDevice = 3, ExitFileError = 4 };

    static constexpr quint32 BootloaderStart = 0x1E000;

    // Runs one command line (without the program name). KM4200_BENCH names
    // the bench; sleeps of the bench's toolMs make the phases visible.
    int run(const QStringList& arguments, QTextStream& err);

    // The firmware number in a name "KestrixFirmware_<n>.hex", or -1.
    static int firmwareNumber(const QString& fileName);

private:
    int usage(QTextStream& err, const QString& problem);
    void pause(int ms);
};
