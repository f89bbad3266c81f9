#include "settingsmanager.h"

#include <QFile>
#include <QSettings>

SettingsManager::SettingsManager(QObject *parent)
    : QObject(parent), settings(new QSettings(QStringLiteral("settings.ini"), QSettings::IniFormat))
{}

SettingsManager::~SettingsManager()
{
    delete settings;
}

int SettingsManager::ReadSettings(QString kohde)
{
    // A missing key, or text that is not a decimal integer, reads as 0. The
    // text is parsed here because QVariant's own conversion wraps numbers
    // beyond 32 bits into unrelated values.
    bool ok = false;
    const int value = settings->value(kohde, QVariant()).toString().toInt(&ok);
    return ok ? value : 0;
}

SettingsManager::SaveResult SettingsManager::save()
{
    // Rewriting a file that could not be parsed in full drops the lines that
    // were not understood, so a copy of it is kept first, once. The settings
    // object parses the file at its first read and reports a format error
    // from then on.
    const bool backUpFirst = !backedUp && settings->status() == QSettings::FormatError;
    if (backUpFirst) {
        const QString backup = settings->fileName() + QStringLiteral(".bak");
        QFile::remove(backup);
        backedUp = QFile::copy(settings->fileName(), backup);
    }
    settings->sync();
    // The status keeps the first error it met, so after a format error a
    // failed write does not show there; a copy that could not be made beside
    // the file stands for it.
    if (settings->status() == QSettings::AccessError || (backUpFirst && !backedUp))
        return SaveResult::Failed;
    return backUpFirst ? SaveResult::SavedWithBackup : SaveResult::Saved;
}
