#include "settingsmanager.h"

#include "inifile.h"

#include <QEvent>
#include <QFileInfo>
#include <QLockFile>
#include <QSettings>

namespace {

// The settings class takes "settings.ini.lock" before it writes and waits
// for it without a limit. Taking it here first, with a limit, keeps a save
// from freezing the window: a lock left by a process that no longer runs is
// cleared (the lock class removes only a lock that no live process holds), a
// lock held by a live process or one that cannot be taken fails the save.
bool lockIsFree(const QString &settingsFile)
{
    QLockFile lock(settingsFile + QStringLiteral(".lock"));
    lock.setStaleLockTime(100);
    if (!lock.tryLock(1000))
        return false;
    lock.unlock();
    return true;
}

bool isOpenable(const QString &path)
{
    const QFileInfo file(path);
    return !file.exists() || file.isFile();
}

// Settings objects whose values could not be written, kept to the end of the
// process on purpose: deleting one writes it, waiting for a lock without a
// limit. The list itself is never destroyed, so they stay reachable.
QList<QSettings *> &unwritable()
{
    static auto *kept = new QList<QSettings *>;
    return *kept;
}

} // namespace

SettingsManager::SettingsManager(QObject *parent)
    : QObject(parent), path(QFileInfo(QStringLiteral("settings.ini")).absoluteFilePath())
{
    // Where the file is anything but a regular file (a FIFO, a device, a
    // directory) it is never opened: the settings object gets a name below
    // it, which cannot exist and which no save writes to.
    settings = new QSettings(isOpenable(path) ? path : path + QStringLiteral("/settings.ini"),
                             IniFile::format());
    // The settings object would write its changes on its own once control is
    // back in the event loop, past every check save() makes; only save() writes.
    settings->installEventFilter(this);
}

SettingsManager::~SettingsManager()
{
    // After a save that stopped before writing (a lock that could not be
    // taken), deleting the settings object would write its values, waiting
    // for the lock without a limit: try once more, and otherwise keep it.
    if (writePending)
        write();
    if (writePending)
        unwritable().append(settings);
    else
        delete settings;
}

bool SettingsManager::eventFilter(QObject *watched, QEvent *event)
{
    return watched == settings && event->type() == QEvent::UpdateRequest;
}

int SettingsManager::ReadSettings(QString kohde)
{
    // A missing key, or text that is not a decimal integer, reads as 0. The
    // text is parsed here because QVariant's own conversion wraps numbers
    // beyond 32 bits into unrelated values.
    const QVariant stored = settings->value(kohde, QVariant());
    if (stored.isValid())
        inUse.insert(kohde, stored);
    bool ok = false;
    const int value = stored.toString().toInt(&ok);
    return ok ? value : 0;
}

SettingsManager::SaveResult SettingsManager::save(const QStringList &keys)
{
    for (const QString &key : keys) {
        inUse.insert(key, settings->value(key));
        unsaved.insert(key);
    }
    const SaveResult result = write();
    if (result != SaveResult::Failed)
        unsaved.clear();
    return result;
}

SettingsManager::SaveResult SettingsManager::write()
{
    writePending = true;
    if (settings->fileName() != path || !isOpenable(path))
        return SaveResult::Failed;

    // Values in use that the file lacks (it was deleted, emptied or replaced
    // meanwhile) are written again. Keys another program changed are left as
    // they are, also where the settings object cannot tell that the file
    // changed (same size, same time stamp).
    const IniFile::Contents before = IniFile::parse(IniFile::contentsOf(path));
    for (auto it = before.values.cbegin(); it != before.values.cend(); ++it) {
        if (!unsaved.contains(it.key()) && settings->value(it.key()) != it.value())
            settings->setValue(it.key(), it.value());
    }
    QSet<QString> expected = unsaved;
    for (auto it = inUse.cbegin(); it != inUse.cend(); ++it) {
        if (!before.values.contains(it.key()) && !unsaved.contains(it.key())) {
            settings->setValue(it.key(), it.value());
            expected << it.key();
        }
    }
    if (!lockIsFree(path))
        return SaveResult::Failed;
    writePending = false;
    settings->sync();

    // The settings object's status keeps the first error it met, so the file
    // itself is read back to tell whether this write reached it.
    const IniFile::Contents after = IniFile::parse(IniFile::contentsOf(path));
    if (!after.complete)
        return SaveResult::Failed; // not rewritten: its copy could not be made
    for (const QString &key : expected) {
        if (after.values.value(key).toString() != inUse.value(key).toString())
            return SaveResult::Failed;
    }
    return before.complete ? SaveResult::Saved : SaveResult::SavedWithBackup;
}
