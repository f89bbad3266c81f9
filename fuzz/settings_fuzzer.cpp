// A libFuzzer target: one input is a settings file's bytes. The settings
// store must read the nine parameters as Qt's settings class reads them, and
// a save of one of them must leave a file that the settings class reads as
// before, with that one value as saved. A save may be refused, the file left
// untouched, only where the settings class could not keep the result either:
// saving the same value into the same file itself, its write fails or what
// it wrote does not read so. Any difference aborts, and libFuzzer keeps the
// input.
#include "settingsmanager.h"
#include "settingsoracle.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <new>

#include <unistd.h>

namespace {

[[noreturn]] void difference(const QString &what)
{
    std::fprintf(stderr, "ERROR: settings-fuzzer: %s\n", qPrintable(what));
    std::abort();
}

QByteArray contents(const QString &name)
{
    QFile file(name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(unreadable)");
}

// Whether the settings class reads `after` as `before` with `key` at `value`.
bool readsAsSaved(const QSettings &before, const QSettings &after, const QString &key, int value)
{
    return after.value(key).toString() == QString::number(value)
           && sameReading(oracleValues(after, {key}), oracleValues(before, {key}));
}

// Whether the settings class, saving `value` under `key` into a file that
// holds `text`, keeps everything else as it read it.
bool settingsClassKeeps(const QByteArray &text, const QSettings &before, const QString &key,
                        int value)
{
    const QString name = QStringLiteral("by-settings-class.ini");
    QFile file(name);
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size())
        difference(QStringLiteral("cannot write %1").arg(name));
    file.close();
    QSettings settings(name, QSettings::IniFormat);
    settings.setValue(key, value);
    settings.sync();
    const bool written = settings.status() != QSettings::AccessError;
    return written && readsAsSaved(before, *oracle(contents(name)), key, value);
}

// The working folders of this target's runs, one for each process, named
// after it. A run that ends in a finding or is killed by libFuzzer has no
// chance to remove its own: each run removes those of processes that are gone.
QString workingFolder()
{
    const QDir top(QFileInfo(QStringLiteral("/dev/shm")).isWritable() ? QStringLiteral("/dev/shm")
                                                                      : QDir::tempPath());
    const QString prefix = QStringLiteral("settings-fuzzer-");
    for (const QString &name : top.entryList({prefix + QLatin1Char('*')}, QDir::Dirs)) {
        const pid_t pid = pid_t(name.sliced(prefix.size()).toLongLong());
        if (pid > 0 && ::kill(pid, 0) != 0 && errno == ESRCH)
            QDir(top.filePath(name)).removeRecursively();
    }
    const QString folder = top.filePath(prefix + QString::number(::getpid()));
    QDir(folder).removeRecursively();
    if (!top.mkpath(folder))
        difference(QStringLiteral("cannot make %1").arg(folder));
    return folder;
}

// The store reads settings.ini in the working folder: each input is run in
// the folder of this process, on a memory file system where there is one (a
// save's flush to disk costs more than the rest of a run), and libFuzzer's
// own relative paths are kept.
class InWorkingFolder
{
public:
    InWorkingFolder()
    {
        static const struct Folder
        {
            QString path = workingFolder();
            ~Folder() { QDir(path).removeRecursively(); } // at a normal end
        } folder;
        if (!QDir::setCurrent(folder.path))
            difference(QStringLiteral("cannot enter %1").arg(folder.path));
    }
    ~InWorkingFolder() { QDir::setCurrent(previous); }

private:
    QString previous = QDir::currentPath();
};

} // namespace

// A binary form can ask the settings class to decode a list of billions of
// items. Its allocation then fails, as it would without the sanitizer, and
// Qt throws std::bad_alloc instead of the sanitizer ending the run.
extern "C" const char *__asan_default_options()
{
    return "allocator_may_return_null=1";
}

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    static QCoreApplication application(*argc, *argv);
    // The settings class's warnings about binary forms it cannot decode are
    // the oracle's, not findings.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const InWorkingFolder folder;
    const QByteArray before(reinterpret_cast<const char *>(data), qsizetype(size));
    {
        QFile file(QStringLiteral("settings.ini"));
        if (!file.open(QIODevice::WriteOnly) || file.write(before) != before.size())
            difference(QStringLiteral("cannot write settings.ini"));
    }
    std::unique_ptr<QSettings> reader;
    try {
        reader = oracle(before);
    } catch (const std::bad_alloc &) {
        return 0; // the settings class cannot read it: nothing to compare with
    }
    SettingsManager store;
    for (const QString &key : SettingsManager::Parameters) {
        const int read = store.ReadSettings(key);
        const int expected = parameterAsRead(reader->value(key));
        if (read != expected)
            difference(QStringLiteral("%1 reads %2, the settings class %3")
                           .arg(key)
                           .arg(read)
                           .arg(expected));
    }

    // One parameter saved as the main window saves it, chosen by the input.
    const QString key = SettingsManager::Parameters[size % SettingsManager::Parameters.size()];
    const int value = 4321;
    store.settings->setValue(key, value);
    const bool saved = store.save({key});
    const QByteArray after = contents(store.fileName());
    if (!saved) {
        if (after != before)
            difference(QStringLiteral("a refused save of %1 changed the file").arg(key));
        if (settingsClassKeeps(before, *reader, key, value))
            difference(
                QStringLiteral("a save of %1 was refused that the settings class keeps").arg(key));
        return 0;
    }
    if (!readsAsSaved(*reader, *oracle(after), key, value))
        difference(
            QStringLiteral("a save of %1 does not read as saved, or changed other keys").arg(key));
    return 0;
}
