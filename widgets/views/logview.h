#pragma once

#include "kestrixframework_export.h"
#include "kestrixstudio.h"

#include <QListWidget>
#include <QMap>
#include <QTextStream>

class QFile;

// The on-screen log and the writer of the log file. Every message goes to the
// file, flushed at once; status and error messages also go to the list, one
// row per line. A log file that cannot be written is said in the list.
class KESTRIXFRAMEWORK_EXPORT LogView : public QListWidget
{
    Q_OBJECT

public:
    explicit LogView(const QString& fileName, QWidget* parent = nullptr);
    ~LogView() override;

public slots:
    void message(KestrixStudio::LogLevel level, QString message);

protected:
    void changeEvent(QEvent* event) override;

private:
    void addRow(const QString& text);
    void showNewest();
    void fileFailed();
    void scrollToNewest();

    QFile* logFile;
    QTextStream logStream;
    QMap<int, QString> levelNames;
    int listThreshold;
    int rowHeight;
    int rowMargin;
    int widestRow;
    bool followNewest;
    bool scrollPending;
};
