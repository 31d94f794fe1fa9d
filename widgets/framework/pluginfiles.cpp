#include "pluginfiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QLibrary>
#include <QPluginLoader>
#include <QThread>
#include <QVector>

#if defined(Q_OS_LINUX)
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <link.h>
#include <pthread.h>
#include <sched.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

// Off by default: users see nothing. Plug-in authors switch it on with
// QT_LOGGING_RULES="kestrix.plugins.debug=true" to learn why a file was not taken.
Q_LOGGING_CATEGORY(lcPlugins, "kestrix.plugins", QtWarningMsg)

namespace
{

QStringList nameFilters()
{
#if defined(Q_OS_WIN)
    return { QStringLiteral("*.dll") };
#elif defined(Q_OS_MACOS)
    return { QStringLiteral("*.dylib"), QStringLiteral("*.so") };
#else
    return { QStringLiteral("*.so") };
#endif
}

} // namespace

QList<PluginFiles::Candidate> PluginFiles::candidates(const QString& folder)
{
    QDir dir(folder);
    // No QDir::CaseSensitive: the suffix matches in any letter case. Broken
    // symlinks are not listed as files.
    const QFileInfoList files = dir.entryInfoList(nameFilters(), QDir::Files, QDir::Unsorted);
    // Resolved once: a file that is no link lies in the resolved folder under
    // its own name, so only links need a lookup of their own.
    const QString canonicalFolder = dir.canonicalPath() + QLatin1Char('/');
    QList<Candidate> result;
    result.reserve(files.size());
    for (const QFileInfo& file : files)
        result.append({ file.absoluteFilePath(),
            file.isSymLink() ? file.canonicalFilePath() : canonicalFolder + file.fileName() });
    return result;
}

bool PluginFiles::segmentsInFile(const QString& path, QString* fault)
{
#if defined(Q_OS_LINUX)
    // Plain reads at known offsets: this runs once per candidate file.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    struct stat status;
    if (fd < 0 || ::fstat(fd, &status) != 0) {
        *fault = qt_error_string(errno);
        if (fd >= 0)
            ::close(fd);
        return false;
    }
    const qint64 size = status.st_size;
    ElfW(Ehdr) header;
    bool complete = true;
    if (::pread(fd, &header, sizeof header, 0) == ssize_t(sizeof header) && memcmp(header.e_ident, ELFMAG, SELFMAG) == 0
        && header.e_ident[EI_CLASS] == (sizeof(void*) == 8 ? ELFCLASS64 : ELFCLASS32)
        && header.e_phentsize == sizeof(ElfW(Phdr))) {
        QVector<ElfW(Phdr)> segments(header.e_phnum);
        const qint64 tableSize = qint64(segments.size()) * qint64(sizeof(ElfW(Phdr)));
        complete = ::pread(fd, segments.data(), size_t(tableSize), off_t(header.e_phoff)) == ssize_t(tableSize);
        for (const auto& segment : qAsConst(segments)) {
            if (segment.p_type == PT_LOAD && quint64(segment.p_offset) + segment.p_filesz > quint64(size))
                complete = false;
        }
    }
    ::close(fd);
    if (!complete) {
        *fault = QStringLiteral("the file is truncated (%1 bytes)").arg(size);
        return false;
    }
#else
    Q_UNUSED(path)
    Q_UNUSED(fault)
#endif
    return true;
}

QPluginLoader* PluginFiles::prepare(const Candidate& file)
{
    auto refuse = [&file](const QString& why) -> QPluginLoader* {
        qCDebug(lcPlugins, "%s: not taken: %s", qUtf8Printable(file.path), qUtf8Printable(why));
        return nullptr;
    };
    QString fault;
    if (!segmentsInFile(file.canonical, &fault))
        return refuse(fault);

    // With the library mapped first, Qt reads the plug-in's metadata from
    // memory instead of mapping and scanning the whole file once more (5 ms
    // of a start with fifty plug-ins, measured on a virtual machine).
    QLibrary library(file.canonical);
    if (!library.load())
        return refuse(library.errorString());
    if (!library.resolve("qt_plugin_instance")) {
        library.unload();
        return refuse(QStringLiteral("not a Qt plug-in"));
    }

    auto* loader = new QPluginLoader(file.canonical);
    // Qt keeps plug-in libraries mapped for good unless told otherwise; a
    // library that loses the duplicate check must really go. It has done
    // nothing yet but be set up, so nothing refers to its data.
    loader->setLoadHints(QLibrary::LoadHints());
    // The loader's own load, so that its unload() undoes exactly this one.
    const bool loaded = loader->load();
    library.unload();
    if (loaded)
        return loader;
    fault = loader->errorString();
    delete loader;
    return refuse(fault);
}

#if defined(Q_OS_LINUX)

namespace
{

// What the helper thread prepared; read by others only after the join.
struct Ahead {
    QList<PluginFiles::Candidate> files;
    QThread* receiver = nullptr;
    pthread_t thread {};
    bool running = false;
    QHash<QString, QPluginLoader*> loaders; // by canonical path; null = refused
};

Ahead ahead;

void* prepareFolder(void*)
{
    for (const PluginFiles::Candidate& file : qAsConst(ahead.files)) {
        // A link and its target are one library: prepared once.
        if (ahead.loaders.contains(file.canonical))
            continue;
        QPluginLoader* loader = PluginFiles::prepare(file);
        if (loader)
            loader->moveToThread(ahead.receiver);
        ahead.loaders.insert(file.canonical, loader);
    }
    return nullptr;
}

void join()
{
    if (!ahead.running)
        return;
    pthread_join(ahead.thread, nullptr);
    ahead.running = false;
}

} // namespace

void PluginFiles::prepareAhead(const QString& folder)
{
    if (ahead.running)
        return;
    // Listed here: no thread at all for a folder without candidates.
    ahead.files = candidates(folder);
    if (ahead.files.isEmpty())
        return;
    ahead.receiver = QThread::currentThread();
    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    // A new thread tends to wait behind its creator on the same core for
    // milliseconds, which would be the whole head start; begin on another.
    cpu_set_t cores;
    if (sched_getaffinity(0, sizeof cores, &cores) == 0 && CPU_COUNT(&cores) > 1) {
        const int current = sched_getcpu();
        if (current >= 0)
            CPU_CLR(current, &cores);
        pthread_attr_setaffinity_np(&attributes, sizeof cores, &cores);
    }
    ahead.running = pthread_create(&ahead.thread, &attributes, prepareFolder, nullptr) == 0;
    pthread_attr_destroy(&attributes);
}

bool PluginFiles::takePrepared(const Candidate& file, QPluginLoader** loader)
{
    join();
    const auto found = ahead.loaders.find(file.canonical);
    if (found == ahead.loaders.end())
        return false;
    *loader = found.value();
    ahead.loaders.erase(found);
    return true;
}

void PluginFiles::discardPrepared()
{
    join();
    for (QPluginLoader* loader : qAsConst(ahead.loaders)) {
        if (!loader)
            continue;
        loader->unload();
        delete loader;
    }
    ahead.loaders.clear();
    ahead.files.clear();
}

#else

void PluginFiles::prepareAhead(const QString&) { }
bool PluginFiles::takePrepared(const Candidate&, QPluginLoader**)
{
    return false;
}
void PluginFiles::discardPrepared() { }

#endif
