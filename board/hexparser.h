#pragma once

#include "km4200ctrl_export.h"

#include <QByteArray>
#include <QString>

class HexModel;

// Strict Intel HEX reader (records 00 to 05). Every fault is reported with the
// number of the line it was found on; a rejected text leaves the model empty.
// Empty lines are skipped; LF and CRLF line ends are both accepted.
class KM4200CTRL_EXPORT HexParser
{
public:
    enum Error {
        NoError = 0,
        FileError, // the file cannot be opened or read (line 0)
        MissingStartCode, // a line does not begin with ':'
        NonHexDigit, // a character other than 0-9, A-F, a-f
        OddDigitCount, // half a byte at the end of the line
        LengthMismatch, // byte count and record length disagree, or wrong length for the type
        BadChecksum,
        UnknownRecordType, // type above 05
        MissingEndOfFile, // no 01 record; the line is the one after the last
        DataAfterEndOfFile, // a non-empty line after the 01 record
        ConflictingData // one address written twice with different bytes
    };

    // Parses the text into the model, which is reset first.
    bool parse(const char* data, qint64 size, HexModel* model);
    bool parse(const QByteArray& text, HexModel* model) { return parse(text.constData(), text.size(), model); }
    // Reads the whole file in one go and parses it.
    bool parseFile(const QString& fileName, HexModel* model);

    Error error() const { return m_error; }
    int errorLine() const { return m_line; }
    // "line 7: bad checksum (expected 0x3A, found 0x3B)"
    QString errorString() const { return m_message; }
    // True for a checksum fault, the one a programmer reports as "does not validate".
    bool isValidationError() const { return m_error == BadChecksum; }

private:
    bool fail(Error error, int line, const QString& what, HexModel* model);

    Error m_error = NoError;
    int m_line = 0;
    QString m_message;
};
