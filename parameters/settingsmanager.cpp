#include "settingsmanager.h"

#include "inidocument.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QSaveFile>
#include <QSettings>

#include <algorithm>

namespace {

// Anything but a regular file (a FIFO, a device, a directory) is never
// opened: opening a FIFO waits for a writer, with the window frozen.
bool isRegularOrAbsent(const QString &path)
{
    const QFileInfo file(path);
    return !file.exists() || file.isFile();
}

// Reads the file into `text`, reusing its storage: a large file is then not
// paged into fresh memory at every save. An absent file reads as empty.
// Where the file cannot be opened, `text` is left as it was.
bool readInto(const QString &path, QByteArray &text)
{
    const QFileInfo info(path);
    if (!info.exists()) {
        text.resize(0);
        return true;
    }
    QFile file(path);
    if (!info.isFile() || !file.open(QIODevice::ReadOnly))
        return false;
    const qsizetype size = file.size();
    if (text.capacity() < size)
        text = QByteArray(size + size / 64, Qt::Uninitialized); // room for edits
    text.resize(size);
    const qint64 read = file.read(text.data(), size);
    text.resize(std::max<qint64>(read, 0));
    return read == size && file.atEnd();
}

// Whether the file holds exactly `text`, compared a block at a time.
bool holds(const QString &path, const QByteArray &text)
{
    QFile file(path);
    if (!isRegularOrAbsent(path) || !file.open(QIODevice::ReadOnly) || file.size() != text.size())
        return false;
    constexpr qsizetype block = 1 << 16;
    QByteArray read(block, Qt::Uninitialized);
    for (qsizetype at = 0; at < text.size(); at += block) {
        const qint64 count = file.read(read.data(), block);
        if (count != std::min(block, text.size() - at)
            || QByteArrayView(read).first(count) != QByteArrayView(text).sliced(at, count))
            return false;
    }
    return true;
}

} // namespace

SettingsManager::SettingsManager(QObject *parent)
    : QObject(parent), path(QFileInfo(QStringLiteral("settings.ini")).absoluteFilePath())
{
    readInto(path, fileText);
    // The settings class reads and writes its file with a lock it waits for
    // without a limit, and rewrites the whole file. This object is named
    // after the root folder, which it can neither read nor write, so that it
    // keeps the values set in memory only and never touches a file.
    settings = new QSettings(QDir::rootPath(), QSettings::IniFormat);
}

SettingsManager::~SettingsManager()
{
    delete settings;
}

const QStringList SettingsManager::Parameters = {
    QStringLiteral("hitausmomentti"), QStringLiteral("TireSize"), QStringLiteral("peravalitys"),
    QStringLiteral("rpmredline"),     QStringLiteral("vaihde1"),  QStringLiteral("vaihde2"),
    QStringLiteral("vaihde3"),        QStringLiteral("vaihde4"),  QStringLiteral("vaihde5")};

int SettingsManager::ReadSettings(QString kohde)
{
    // A value set in this run and not yet in the file is the one in use;
    // every other value comes from the file as last read or written. A
    // missing key, or text that is not a decimal 32-bit integer, reads as 0.
    if (unsaved.contains(kohde))
        return settings->value(kohde).toInt();
    // The text is read once for all the parameters, and again only for a key
    // it was not read for.
    if (!storedKeys.contains(kohde)) {
        for (const QString &key : Parameters + QStringList{kohde})
            if (!storedKeys.contains(key))
                storedKeys << key;
        stored = IniDocument(fileText).values(storedKeys);
    }
    if (!stored.contains(kohde))
        return 0;
    const int value = IniDocument::toInt(stored.value(kohde)).value_or(0);
    inUse.insert(kohde, value);
    return value;
}

bool SettingsManager::save(const QStringList &keys)
{
    for (const QString &key : keys) {
        unsaved.removeAll(key);
        unsaved << key;
    }
    if (!write())
        return false;
    for (const QString &key : std::as_const(unsaved))
        inUse.insert(key, settings->value(key).toInt());
    unsaved.clear();
    return true;
}

bool SettingsManager::write()
{
    // The lock is the settings class's own, so that a Qt program writing the
    // file at the same time waits for this save. A lock left by a process
    // that no longer runs is cleared; a live one fails the save in a second.
    const QString lockName = path + QStringLiteral(".lock");
    if (!isRegularOrAbsent(path) || !isRegularOrAbsent(lockName))
        return false;
    QLockFile lock(lockName);
    lock.setStaleLockTime(100);
    if (!lock.tryLock(1000))
        return false;
    // The file as it is now: another program may have changed it.
    storedKeys.clear();
    if (!readInto(path, fileText))
        return false;

    // The values set, and the values in use that the file lost (it was
    // deleted, emptied or replaced meanwhile). Keys another program changed
    // keep their new values.
    QList<IniDocument::Value> values;
    for (auto it = inUse.cbegin(); it != inUse.cend(); ++it) {
        if (!unsaved.contains(it.key()))
            values.append({it.key(), IniDocument::intText(it.value()), true});
    }
    for (const QString &key : std::as_const(unsaved))
        values.append({key, IniDocument::intText(settings->value(key).toInt()), false});
    IniDocument::Edited edited = IniDocument(fileText).withValues(values);
    if (!edited.readsBack)
        return false;
    if (edited.changed || !QFileInfo::exists(path)) {
        // Written aside and renamed into place: a write that fails half-way
        // (a full disk) leaves the file as it was. The flush comes first
        // because commit() does not notice a failure of its own final flush
        // and would put a short file in place.
        const QByteArrayView rest = QByteArrayView(fileText).sliced(edited.resumesAt);
        QSaveFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(edited.head) != edited.head.size()
            || file.write(rest.data(), rest.size()) != rest.size() || !file.flush()
            || !file.commit())
            return false;
    }
    edited.apply(fileText);
    if (!holds(path, fileText))
        return false;
    // The edit read every key it was given, the file lacking none of them.
    stored = std::move(edited.values);
    storedKeys = stored.keys();
    return true;
}
