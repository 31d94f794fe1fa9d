#pragma once

#include "kestrixframework_export.h"

#include <QList>
#include <QLoggingCategory>
#include <QString>
#include <QStringList>

class QPluginLoader;

Q_DECLARE_LOGGING_CATEGORY(lcPlugins)

// The plug-in library files of a folder: which files are candidates, loading
// one up to the point where only its root object is missing, and doing that
// for the whole folder ahead of time on a helper thread.
//
// dlopen() is serialised by the dynamic loader and costs about 70 µs per
// plug-in (mostly matching its ~35 Qt dependencies by name), which made
// loading the longest single step of a start with many plug-ins. Prepared
// while the main thread builds the window's first parts, the libraries wait in
// memory; WidgetFactory then only creates the root objects, on the main thread
// and in its usual order. A plug-in's static initialisers therefore run on
// the helper thread: plug-ins create their objects in the root object's
// constructor, not as statics.
class KESTRIXFRAMEWORK_EXPORT PluginFiles
{
public:
    struct Candidate {
        QString path; // as found in the folder
        QString canonical; // the library file it stands for
    };
    // The files of the folder that may be plug-ins, in the folder's order.
    static QList<Candidate> candidates(const QString& folder);

    // Whether every loadable segment of an ELF file lies within the file; a
    // truncated library would fault inside the dynamic loader. Anything that
    // is not a native ELF file is left to the loader to refuse.
    static bool segmentsInFile(const QString& path, QString* fault);

    // Loads the library but does not create its root object. Returns a loader
    // that holds exactly one load, so that its unload() undoes it, or null
    // after saying why (category kestrix.plugins).
    static QPluginLoader* prepare(const Candidate& file);

    // Prepares every candidate of the folder on a helper thread; the loaders
    // are handed to the thread that called this. Does nothing where no such
    // thread is started (other platforms).
    static void prepareAhead(const QString& folder);
    // Hands out what was prepared ahead for the file: waits for the helper,
    // then returns true and sets *loader (null when the file was refused), or
    // returns false when the file was not prepared ahead.
    static bool takePrepared(const Candidate& file, QPluginLoader** loader);
    // Waits for the helper, then unloads what nobody took.
    static void discardPrepared();
};
