#pragma once

#include "km4200ctrl_export.h"

#include <QList>
#include <QString>
#include <QStringList>

// The INI file that describes a simulated KM4200 bench. Read by the library
// and by the firmware tool; both write single keys back into it, keeping the
// user's layout and comments. Comments start with ';' or '#' at the beginning
// of a line, or with ';' after blanks at the end of a value.
//
//   [bench]   bootloaderDelayMs=300 (also the restart after renew()),
//             operationMs=500, toolMs=0,
//             memory=<folder for module memory, relative to the bench file>
//   [<any>]   one group per device: id (required, 1..255), type, firmware, module,
//             extension, externalModule, bootloader, programStatus,
//             verifyStatus, modules
class KM4200CTRL_EXPORT BenchFile
{
public:
    enum DeviceType { DeviceMotherBoard = 1, DeviceBootloader = 4 };

    struct Device {
        QString group;
        int id = -1;
        int type = DeviceMotherBoard;
        quint16 firmware = 5;
        QString module = QStringLiteral("KT24 module");
        QString extension = QStringLiteral("KT24 extension");
        bool externalModule = false;
        bool bootloaderSilent = false;
        quint32 programStatus = 0;
        bool verifyCompare = true;
        quint32 verifyStatus = 0;
        QList<int> modules { 0, 1, 2, 3 };

        // Same device settings (the group name does not count).
        bool sameSettings(const Device& other) const;
        // A device that waits in its bootloader and answers on the bus.
        bool isReportingBootloader() const { return type == DeviceBootloader && !bootloaderSilent; }
    };

    static constexpr int DefaultBootloaderDelayMs = 300;
    static constexpr int DefaultOperationMs = 500;

    // Reads and checks the file. On failure errorString() says why; a device
    // group with a bad value is skipped and named in warnings() instead.
    bool load(const QString& path);
    // Parses text as if it came from path (used for files being written).
    bool parse(const QByteArray& text, const QString& path);

    QString path() const { return m_path; }
    QString errorString() const { return m_error; }
    QStringList warnings() const { return m_warnings; }

    int bootloaderDelayMs() const;
    int operationMs() const;
    int toolMs() const;
    // Absolute folder that keeps the module memory of this bench.
    QString memoryFolder() const;

    // Valid device groups in file order; the first group of an ID wins.
    QList<Device> devices() const { return m_devices; }
    const Device* deviceById(int id) const;
    // First device in its bootloader that reports on the bus, or null.
    const Device* firstReportingBootloader() const;

    QString value(const QString& group, const QString& key, const QString& defaultValue = QString()) const;
    // Changes one key in the text (appends it to the group when missing).
    void setValue(const QString& group, const QString& key, const QString& value);
    // Writes the text back atomically.
    bool save();

    // Loads the file, sets one key of a group and saves it again.
    static bool updateKey(
        const QString& path, const QString& group, const QString& key, const QString& value, QString* error = nullptr);

private:
    struct Entry {
        QString group;
        QString key;
        QString value;
        int line;
    };
    bool reparse();
    void readDevices();

    QString m_path;
    QStringList m_lines;
    bool m_crlf = false;
    QList<Entry> m_entries;
    QStringList m_groups;
    QList<Device> m_devices;
    QString m_error;
    QStringList m_warnings;
};
