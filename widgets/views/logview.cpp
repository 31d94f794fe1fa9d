#include "logview.h"

#include <QDateTime>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QLoggingCategory>
#include <QRegularExpression>
#include <QScrollBar>

Q_LOGGING_CATEGORY(lcLogView, "kestrix.logview", QtWarningMsg)

namespace
{

// Lines after the first of a message stand out as belonging to it.
const QLatin1String continuationIndent("    ");

bool isMultiLine(const QString& text)
{
    for (const QChar c : text)
        if (c == QLatin1Char('\n') || c == QLatin1Char('\r'))
            return true;
    return false;
}

} // namespace

LogView::LogView(const QString& fileName, QWidget* parent)
    : QListWidget(parent)
    , logFile(new QFile(fileName, this))
    , listThreshold(KestrixStudio::LogStatus)
    , rowHeight(0)
    , rowMargin(0)
    , widestRow(0)
    , followNewest(false)
    , scrollPending(false)
{
    levelNames.insert(KestrixStudio::LogDebug, QStringLiteral("DEBUG"));
    levelNames.insert(KestrixStudio::LogStatus, QStringLiteral("STATUS"));
    levelNames.insert(KestrixStudio::LogError, QStringLiteral("ERROR"));

    // A long session lists hundreds of thousands of rows. With rows of one
    // height and layout done in small batches, an append costs the same at
    // row 100,000 as at row 10; the per-append scroll is folded into one per
    // event-loop turn (scrollToNewest). Larger batches make every append
    // lay out more rows synchronously.
    setUniformItemSizes(true);
    setLayoutMode(QListView::Batched);
    setBatchSize(100);
    setSelectionMode(QAbstractItemView::SingleSelection);

    // Batched layout grows the scroll range after the append that asked
    // for the newest row; keep the bottom in view until the user scrolls.
    connect(verticalScrollBar(), &QScrollBar::rangeChanged, this, [this](int, int max) {
        if (followNewest)
            verticalScrollBar()->setValue(max);
    });
    connect(verticalScrollBar(), &QScrollBar::actionTriggered, this, [this](int) { followNewest = false; });

    // The data folder is not created here: without it the log stays on screen,
    // and its first row says why the file gets nothing.
    if (!logFile->open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text)) {
        fileFailed();
        return;
    }
    logStream.setDevice(logFile);
    logStream << Qt::endl;
    logStream.setFieldWidth(30);
    logStream.setFieldAlignment(QTextStream::AlignCenter);
    logStream.setPadChar(QLatin1Char('='));
    logStream << QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss"));
    logStream.setFieldWidth(0);
    logStream.setFieldAlignment(QTextStream::AlignLeft);
    logStream.setPadChar(QLatin1Char(' '));
    logStream << Qt::endl;
    if (logStream.status() != QTextStream::Ok)
        fileFailed();
}

LogView::~LogView()
{
    logStream.setDevice(nullptr);
    logFile->close();
}

void LogView::message(KestrixStudio::LogLevel level, QString message)
{
    // Unknown levels are written with an empty name.
    const QString& name = levelNames[level];
    if (logStream.device()) {
        logStream << name << QLatin1String(": ") << message << Qt::endl;
        if (logStream.status() != QTextStream::Ok)
            fileFailed();
    }

    if (level < listThreshold)
        return;

    if (!isMultiLine(message)) {
        addRow(message);
    } else {
        QStringList lines = message.split(QRegularExpression(QStringLiteral("\r\n|\r|\n")));
        while (lines.size() > 1 && lines.last().isEmpty())
            lines.removeLast();
        addRow(lines.first());
        for (int i = 1; i < lines.size(); ++i)
            addRow(continuationIndent + lines.at(i));
    }
    showNewest();
}

void LogView::addRow(const QString& text)
{
    // Rows share the size of the newest one (uniform sizes), so the newest
    // carries the widest width seen: long rows stay readable, not cut off.
    auto* row = new QListWidgetItem(text);
    const int textWidth = fontMetrics().horizontalAdvance(text);
    if (rowHeight == 0) {
        addItem(row);
        const QSize natural = itemDelegate()->sizeHint(viewOptions(), indexFromItem(row));
        rowHeight = qMax(natural.height(), fontMetrics().height());
        rowMargin = qMax(0, natural.width() - textWidth);
        widestRow = qMax(widestRow, natural.width());
        row->setSizeHint(QSize(widestRow, rowHeight));
    } else {
        widestRow = qMax(widestRow, textWidth + rowMargin);
        row->setSizeHint(QSize(widestRow, rowHeight));
        addItem(row);
    }
}

void LogView::showNewest()
{
    // Current row without the immediate scroll: scrolling lays out the
    // whole list, which per append would make a long log quadratic.
    const bool autoScrolling = hasAutoScroll();
    setAutoScroll(false);
    setCurrentRow(count() - 1);
    setAutoScroll(autoScrolling);

    followNewest = true;
    if (!scrollPending) {
        scrollPending = true;
        QMetaObject::invokeMethod(this, &LogView::scrollToNewest, Qt::QueuedConnection);
    }
}

void LogView::fileFailed()
{
    // Said once; the messages stay on screen.
    const QString reason = logFile->errorString();
    qCDebug(lcLogView) << "log file not written:" << logFile->fileName() << reason;
    logStream.setDevice(nullptr);
    logFile->close();
    addRow(tr("The log file %1 cannot be written: %2").arg(QDir::toNativeSeparators(logFile->fileName()), reason));
    showNewest();
}

void LogView::changeEvent(QEvent* event)
{
    // A new font or style changes the row size; measure again on the next row.
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange)
        rowHeight = 0;
    QListWidget::changeEvent(event);
}

void LogView::scrollToNewest()
{
    scrollPending = false;
    if (followNewest)
        scrollToBottom();
}
