#pragma once

// Shared fixture of the page suites: a temporary application directory with
// a hex folder, a simulated bench file, a stand-in for the main window's page
// area and a recorder for modal boxes.

#include "applicationdirectory.h"
#include "basewidget.h"
#include "connectionmanager.h"
#include "defaultwidget.h"
#include "km4200controller.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QProgressDialog>
#include <QPushButton>
#include <QScrollArea>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>

namespace PageFixture
{

struct LogEntry {
    int level;
    QString text;
};

// Collects what pages log.
class LogRecorder : public QObject
{
public:
    void attach(BaseWidget* page)
    {
        connect(page, &BaseWidget::logmessage, this, [this](KestrixStudio::LogLevel level, const QString& text) {
            entries.append({ level, text });
        });
    }
    QStringList texts() const
    {
        QStringList list;
        for (const LogEntry& e : entries)
            list << e.text;
        return list;
    }
    int levelOf(const QString& text) const
    {
        for (const LogEntry& e : entries) {
            if (e.text == text)
                return e.level;
        }
        return -1;
    }
    QList<LogEntry> entries;
};

// A temporary installation: <dir>/hex, <dir>/bench.ini, optionally a tool.
// The folder name holds a blank, so the tool's quoted command line matters.
class Installation
{
public:
    Installation()
        : dir(QDir::tempPath() + QStringLiteral("/kestrix app XXXXXX"))
    {
        QDir(dir.path()).mkdir(QStringLiteral("hex"));
        ApplicationDirectory::setPathForTesting(dir.path());
    }
    ~Installation()
    {
        controller.reset();
        ApplicationDirectory::setPathForTesting(QString());
    }

    QString path() const { return QDir::fromNativeSeparators(dir.path()); }
    QString hexPath() const { return path() + QStringLiteral("/hex"); }
    QString benchPath() const { return path() + QStringLiteral("/bench.ini"); }
    QString toolPath() const { return path() + QStringLiteral("/dfu-programmer"); }

    void addFirmware(const QString& name) const
    {
        QFile file(hexPath() + QLatin1Char('/') + name);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(":00000001FF\n");
    }

    // Writes the bench and opens the library on it.
    void openBench(const QString& devices, int bootloaderDelayMs = 100, int operationMs = 50) const
    {
        writeBench(devices, bootloaderDelayMs, operationMs);
        qputenv("KM4200_BENCH", benchPath().toLocal8Bit());
        controller.reset();
        controller = std::make_unique<KM4200Controller>();
    }
    void writeBench(const QString& devices, int bootloaderDelayMs = 100, int operationMs = 50) const
    {
        QFile file(benchPath());
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(QStringLiteral("[bench]\nbootloaderDelayMs=%1\noperationMs=%2\n\n%3")
                       .arg(bootloaderDelayMs)
                       .arg(operationMs)
                       .arg(devices)
                       .toUtf8());
    }

    // A shell script as the tool.
    void writeToolScript(const QString& body) const
    {
        QFile file(toolPath());
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write("#!/bin/sh\n" + body.toUtf8() + "\n");
        file.close();
        file.setPermissions(file.permissions() | QFileDevice::ExeOwner | QFileDevice::ExeUser);
    }

    QTemporaryDir dir;
    mutable std::unique_ptr<KM4200Controller> controller;
};

// Texts of every label on a page.
inline QStringList labelTexts(QWidget* page)
{
    QStringList texts;
    if (!page)
        return texts;
    const QList<QLabel*> labels = page->findChildren<QLabel*>();
    for (QLabel* label : labels)
        texts << label->text();
    return texts;
}

inline QString motherboard(int id, int firmware, const QString& extra = QString())
{
    return QStringLiteral("[board%1]\nid=%1\ntype=1\nfirmware=%2\n%3\n").arg(id).arg(firmware).arg(extra);
}

// Stand-in for the main window's page area: shows one page at a time, wires
// it like the window does and releases the old page the same way.
class PageArea : public QObject
{
public:
    // Builds the page for a request; the default gives overview pages.
    std::function<BaseWidget*(int type)> factory = [](int type) -> BaseWidget* {
        if (type == KestrixStudio::WidgetTypeDefault)
            return new DefaultWidget(nullptr);
        return new BaseWidget(nullptr);
    };

    ~PageArea() override { delete area.takeWidget(); }

    void widgetChange(int type, int /*boardID*/, int /*subtype*/)
    {
        ++changes;
        show(factory(type));
    }

    void show(BaseWidget* page)
    {
        BaseWidget* old = qobject_cast<BaseWidget*>(area.takeWidget());
        if (old && old != page) {
            old->leavePage();
            if (old->deleteWhenReplaced())
                delete old;
        }
        area.setWidget(page);
        current = page;
        log.attach(page);
        connect(ConnectionManager::Instance(), &ConnectionManager::updated, page, &BaseWidget::boardUpdate);
        connect(page, &BaseWidget::widgetChange, this, &PageArea::widgetChange);
    }

    QScrollArea area;
    QPointer<BaseWidget> current;
    LogRecorder log;
    int changes = 0;
};

struct BoxSeen {
    QString title;
    QString text;
    QMessageBox::Icon icon;
};

// Answers every modal message box with OK and records it; a progress dialog
// is cancelled when cancelProgress is set. Lives until destroyed.
class BoxRecorder : public QObject
{
public:
    BoxRecorder()
    {
        timer.setInterval(10);
        connect(&timer, &QTimer::timeout, this, &BoxRecorder::poll);
        timer.start();
    }

    bool cancelProgress = false;
    QList<BoxSeen> boxes;
    QStringList progressLabels;

private:
    void poll()
    {
        QWidget* modal = QApplication::activeModalWidget();
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            boxes.append({ box->windowTitle(), box->text(), box->icon() });
            box->button(QMessageBox::Ok)->click();
        } else if (auto* progress = qobject_cast<QProgressDialog*>(modal)) {
            if (progressLabels.isEmpty() || progressLabels.last() != progress->labelText() || progress != lastProgress)
                progressLabels.append(progress->labelText());
            lastProgress = progress;
            if (cancelProgress) {
                if (auto* button = progress->findChild<QPushButton*>())
                    button->click();
            }
        }
    }

    QTimer timer;
    QPointer<QProgressDialog> lastProgress;
};

} // namespace PageFixture
