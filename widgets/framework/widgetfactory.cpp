#include "widgetfactory.h"

#include "basewidget.h"
#include "defaultwidget.h"
#include "flashdefaultsettings.h"
#include "menuview.h"
#include "plugininfo.h"
#include "studiopluginprototype.h"
#include "widgetsignalbridge.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLibrary>
#include <QLoggingCategory>
#include <QPluginLoader>
#include <QSet>
#include <QTreeWidget>
#include <QTreeWidgetItem>
#include <QUrl>
#include <QVector>
#include <QtDebug>

#include <algorithm>

#if defined(Q_OS_WIN)
#include <windows.h>
#elif defined(Q_OS_UNIX)
#include <dlfcn.h>
#endif
#if defined(Q_OS_LINUX)
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <link.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

// Off by default: users see nothing. Plug-in authors switch it on with
// QT_LOGGING_RULES="kestrix.plugins.debug=true" to learn why a file was not taken.
Q_LOGGING_CATEGORY(lcPlugins, "kestrix.plugins", QtWarningMsg)

QMap<quint32, StudioPluginPrototype*> WidgetFactory::plugins;
int WidgetFactory::exitStatus = 0;
bool WidgetFactory::loadedFromApplicationFolder = false;

namespace
{

QStringList pluginNameFilters()
{
#if defined(Q_OS_WIN)
    return { QStringLiteral("*.dll") };
#elif defined(Q_OS_MACOS)
    return { QStringLiteral("*.dylib"), QStringLiteral("*.so") };
#else
    return { QStringLiteral("*.so") };
#endif
}

// Keeps a loaded library mapped until the process ends. A plug-in that ran
// may have left references to its static data in Qt's process-wide caches
// (QStringLiteral keys in the settings cache, meta-type names, ...); those
// must stay readable after its objects are gone.
void keepMapped(const QString& path)
{
#if defined(Q_OS_WIN)
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_PIN,
        reinterpret_cast<const wchar_t*>(QDir::toNativeSeparators(path).utf16()), &module);
#elif defined(Q_OS_UNIX)
    // RTLD_NOLOAD only looks the library up; RTLD_NODELETE pins it.
    (void)dlopen(QFile::encodeName(path).constData(), RTLD_LAZY | RTLD_NOLOAD | RTLD_NODELETE);
#else
    Q_UNUSED(path)
#endif
}

// dlopen() maps a library's segments without checking that the file holds
// them, and a truncated file then faults inside the dynamic loader. Reads the
// program headers and says whether every loadable segment lies in the file;
// anything that is not a native ELF file is left to the loader to refuse.
bool segmentsInFile(const QString& path, QString* fault)
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

// Loads the library and creates its root object. Returns a loader that holds
// exactly one load, so that its unload() undoes it, or null after saying why.
QPluginLoader* loadLibrary(const QString& path, const QString& canonical)
{
    auto refuse = [&path](const QString& why) -> QPluginLoader* {
        qCDebug(lcPlugins, "%s: not taken: %s", qUtf8Printable(path), qUtf8Printable(why));
        return nullptr;
    };
    QString fault;
    if (!segmentsInFile(canonical, &fault))
        return refuse(fault);

    // With the library mapped first, Qt reads the plug-in's metadata from
    // memory instead of mapping and scanning the whole file once more (5 ms
    // of a start with fifty plug-ins, measured on a virtual machine).
    QLibrary library(canonical);
    if (!library.load())
        return refuse(library.errorString());
    if (!library.resolve("qt_plugin_instance")) {
        library.unload();
        return refuse(QStringLiteral("not a Qt plug-in"));
    }

    auto* loader = new QPluginLoader(canonical);
    // Qt keeps plug-in libraries mapped for good unless told otherwise; a
    // library that loses the duplicate check must really go. It has done
    // nothing yet but be set up, so nothing refers to its data.
    loader->setLoadHints(QLibrary::LoadHints());
    // load() before instance(): only then does the loader hold its own load.
    const bool loaded = loader->load() && loader->instance();
    library.unload();
    if (loaded)
        return loader;
    fault = loader->errorString();
    delete loader;
    return refuse(fault);
}

} // namespace

void WidgetFactory::loadPlugins()
{
    // The registry is filled once; a second window in the same process (tests)
    // finds it ready.
    if (loadedFromApplicationFolder)
        return;
    loadedFromApplicationFolder = true;
    // Not the working directory and not the "./plugins" library path: only
    // the libraries installed beside the executable are ours.
    loadPlugins(QCoreApplication::applicationDirPath());
}

void WidgetFactory::loadPlugins(const QString& folder)
{
    QDir dir(folder);
    // No QDir::CaseSensitive: the suffix matches in any letter case. Broken
    // symlinks are not listed as files.
    const QFileInfoList files = dir.entryInfoList(pluginNameFilters(), QDir::Files, QDir::Unsorted);
    qCDebug(lcPlugins, "Looking for plug-ins in %s (%d candidate files)", qUtf8Printable(dir.absolutePath()),
        int(files.size()));

    // A link and its target are one library; loading it twice would hand out
    // the same root object under two loaders.
    QSet<QString> seen;
    int counter = 0;
    // Resolved once: a file that is no link lies in the resolved folder under
    // its own name, so only links need a lookup of their own.
    const QString canonicalFolder = dir.canonicalPath() + QLatin1Char('/');
    for (const QFileInfo& file : files) {
        const QString path = file.absoluteFilePath();
        const QString canonical = file.isSymLink() ? file.canonicalFilePath() : canonicalFolder + file.fileName();
        if (seen.contains(canonical)) {
            qCDebug(lcPlugins, "%s: not taken: the same library as a file already tried (%s)", qUtf8Printable(path),
                qUtf8Printable(canonical));
            continue;
        }
        seen.insert(canonical);

        QPluginLoader* loader = loadLibrary(path, canonical);
        if (!loader)
            continue;
        QObject* root = loader->instance();
        auto* plugin = qobject_cast<StudioPluginPrototype*>(root);
        if (!plugin) {
            const QString iid = loader->metaData().value(QStringLiteral("IID")).toString();
            qCDebug(lcPlugins, "%s: not taken: its root object (%s, IID \"%s\") does not answer \"%s\"",
                qUtf8Printable(path), root->metaObject()->className(), qUtf8Printable(iid), StudioPluginPrototype_iid);
            // Nothing of ours uses the library; let it go again.
            loader->unload();
            delete loader;
            continue;
        }

        if (std::find(plugins.cbegin(), plugins.cend(), plugin) != plugins.cend()) {
            // Loaded earlier through another call; keep the first loader.
            qCDebug(lcPlugins, "%s: not taken: already registered", qUtf8Printable(path));
            loader->unload();
            delete loader;
            continue;
        }

        plugin->pluginInfo()->setLoader(loader);
        plugin->setSignalBridge(WidgetSignalBridge::instance());
        // Counted before the duplicate check: a loser keeps its place.
        ++counter;
        plugin->setIdOffset(counter * 100);
        qCDebug(lcPlugins, "%s: %s, id offset %d", qUtf8Printable(path),
            qUtf8Printable(plugin->pluginInfo()->description()), counter * 100);
        addPlugin(plugin);
    }
}

void WidgetFactory::addPlugin(StudioPluginPrototype* plugin)
{
    PluginInfo* info = plugin->pluginInfo();
    const quint32 id = info->uniquePluginID();
    const auto registered = plugins.constFind(id);
    if (registered == plugins.constEnd()) {
        plugins.insert(id, plugin);
        return;
    }

    StudioPluginPrototype* other = registered.value();
    PluginInfo* otherInfo = other->pluginInfo();
    qDebug().noquote() << QStringLiteral("Two plugins with the same unique ID: \"%1\" \"%2\"")
                              .arg(info->description(), otherInfo->description());

    // The major version only decides when it is lower; then the minor version
    // must be higher for the newcomer to win.
    const bool newLoses
        = info->majorVersion() < otherInfo->majorVersion() || info->minorVersion() <= otherInfo->minorVersion();
    if (newLoses) {
        qCDebug(lcPlugins, "Keeping %s", qUtf8Printable(otherInfo->description()));
        unloadPlugin(plugin);
    } else {
        qCDebug(lcPlugins, "Replacing %s", qUtf8Printable(otherInfo->description()));
        plugins.insert(id, plugin);
        unloadPlugin(other);
    }
}

void WidgetFactory::unloadPlugin(StudioPluginPrototype* plugin)
{
    PluginInfo* info = plugin->pluginInfo();
    QPluginLoader* loader = info->loader();
    if (!loader)
        return;
    info->setLoader(nullptr);
    // Deletes the root object (and with it, usually, the info) and unmaps
    // the library; neither is touched afterwards.
    if (!loader->unload())
        qCDebug(lcPlugins, "%s: could not be unloaded: %s", qUtf8Printable(loader->fileName()),
            qUtf8Printable(loader->errorString()));
    delete loader;
}

void WidgetFactory::unloadPlugins()
{
    const auto snapshot = plugins;
    plugins.clear();
    for (StudioPluginPrototype* plugin : snapshot) {
        // The plug-in objects go now, in order, while the application still
        // exists; the code and data stay mapped until the process ends.
        if (QPluginLoader* loader = plugin->pluginInfo()->loader())
            keepMapped(loader->fileName());
        unloadPlugin(plugin);
    }
    exitStatus = 0;
    loadedFromApplicationFolder = false;
}

KestrixStudio::CommandlineProcessing WidgetFactory::processCommandLine()
{
    return processCommandLine(QCoreApplication::arguments());
}

KestrixStudio::CommandlineProcessing WidgetFactory::processCommandLine(const QStringList& arguments)
{
    const auto snapshot = plugins;
    // Exact match: "-H" is an ordinary argument for the plug-ins.
    int help = arguments.indexOf(QStringLiteral("-h"));
    if (help < 0)
        help = arguments.indexOf(QStringLiteral("--help"));
    if (help >= 0) {
        const QString applicationName = QCoreApplication::applicationName();
        BaseWidget::printRow(
            applicationName + QStringLiteral(" - ") + tr("command-line options of the application and its modules"),
            QString());
        QString module = arguments.value(help + 1);
        module.remove(QLatin1Char('-'));
        if (module.isEmpty())
            BaseWidget::printRow(QStringLiteral("-h"),
                tr("Shows usage of a spesific module, or if none is specified, shows an overviw "
                   "of modules."));
        for (StudioPluginPrototype* plugin : snapshot)
            plugin->printUsage(applicationName, module);
        return KestrixStudio::EndProcessingCommandline;
    }

    for (StudioPluginPrototype* plugin : snapshot) {
        if (plugin->processCommandLine(arguments) == KestrixStudio::EndProcessingCommandline) {
            exitStatus = plugin->exitCode();
            qCDebug(lcPlugins, "%s ended the command line with status %d",
                qUtf8Printable(plugin->pluginInfo()->description()), exitStatus);
            return KestrixStudio::EndProcessingCommandline;
        }
    }
    return KestrixStudio::NoOptionsProcessedInCommandline;
}

int WidgetFactory::exitCode()
{
    return exitStatus;
}

bool WidgetFactory::isShellOption(const QString& argument)
{
    static const QStringList shellOptions = { QStringLiteral("-defaultsettings"), QStringLiteral("-kt3901support"),
        QStringLiteral("-kt39support"), QStringLiteral("-enablelumo") };
    return shellOptions.contains(argument, Qt::CaseInsensitive);
}

KestrixStudio::Features WidgetFactory::features()
{
    KestrixStudio::Features result = KestrixStudio::FeatureNoFeatures;
    const auto snapshot = plugins;
    for (StudioPluginPrototype* plugin : snapshot)
        result |= plugin->features();
    return result;
}

void WidgetFactory::populateView(int category, MenuView* view)
{
    QTreeWidgetItem* parent = view->categoryItem(category);
    const auto snapshot = plugins;
    for (StudioPluginPrototype* plugin : snapshot)
        plugin->populateView(category, parent);
}

void WidgetFactory::populateMenu(int menuId, QMenu* menu)
{
    const auto snapshot = plugins;
    for (StudioPluginPrototype* plugin : snapshot)
        plugin->populateMenu(menuId, menu);
}

void WidgetFactory::populateMenuBar(int menuId, QMenuBar* menuBar)
{
    const auto snapshot = plugins;
    for (StudioPluginPrototype* plugin : snapshot)
        plugin->populateMenuBar(menuId, menuBar);
}

BaseWidget* WidgetFactory::createWidget(int type, quint8 subtype, int boardID)
{
    BaseWidget* page = nullptr;
    if (type == KestrixStudio::WidgetTypeDefaultSettings) {
        page = new FlashDefaultSettings(nullptr);
    } else {
        const auto snapshot = plugins;
        for (StudioPluginPrototype* plugin : snapshot) {
            page = plugin->createWidget(type, boardID);
            if (page)
                break;
        }
        if (!page)
            page = new DefaultWidget(nullptr);
    }
    page->setBoard(boardID);
    page->boardUpdate();
    page->setSubtype(subtype);
    return page;
}

void WidgetFactory::populateHelp(QTreeWidgetItem* root)
{
    struct Entry {
        const char* text;
        const char* key;
        KestrixStudio::HelpCategory category;
    };
    static const Entry entries[] = {
        { "Kestrix Studio help", "general/doc/index", KestrixStudio::RegularContent },
        { "Command line possibilities", "general/doc/commandline", KestrixStudio::CommandLineContent },
        { "Release notes", "general/doc/release", KestrixStudio::ReleaseInformation },
    };
    const auto snapshot = plugins;
    for (const Entry& entry : entries) {
        QTreeWidgetItem* item
            = BaseWidget::createHelpItem(QString::fromLatin1(entry.text), QString::fromLatin1(entry.key));
        root->addChild(item);
        for (StudioPluginPrototype* plugin : snapshot)
            plugin->populateHelp(item, entry.category);
        if (item->treeWidget())
            item->setExpanded(true);
    }
}

QVariant WidgetFactory::helpResource(const QString& name)
{
    // The shell's own documents first, whatever a plug-in offers for the key.
    const QVariant own = BaseWidget::helpDocument(QStringLiteral("general"), QUrl(name));
    if (own.isValid())
        return own;
    const auto snapshot = plugins;
    for (StudioPluginPrototype* plugin : snapshot) {
        const QVariant answer = plugin->helpResource(name);
        if (answer.isValid())
            return answer;
    }
    return QVariant();
}

QList<PluginInfo*> WidgetFactory::pluginInfos()
{
    QList<PluginInfo*> infos;
    const auto snapshot = plugins;
    for (StudioPluginPrototype* plugin : snapshot)
        infos.append(plugin->pluginInfo());
    return infos;
}

bool WidgetFactory::canClose()
{
    const auto snapshot = plugins;
    for (StudioPluginPrototype* plugin : snapshot) {
        if (plugin->closeRequest() == 2)
            return false;
    }
    return true;
}

void WidgetFactory::loadSettings(QSettings* settings)
{
    const auto snapshot = plugins;
    for (StudioPluginPrototype* plugin : snapshot)
        plugin->loadSettings(settings);
}

void WidgetFactory::saveSettings(QSettings* settings)
{
    const auto snapshot = plugins;
    for (StudioPluginPrototype* plugin : snapshot)
        plugin->saveSettings(settings);
}

QList<StudioPluginPrototype*> WidgetFactory::loadedPlugins()
{
    return plugins.values();
}
