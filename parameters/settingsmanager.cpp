#include "settingsmanager.h"

#include <QFile>
#include <QSettings>

SettingsManager::SettingsManager(QObject *parent)
    : QObject(parent),
      settings(new QSettings(QStringLiteral("settings.ini"), QSettings::IniFormat)),
      unparsedFileToBackUp(settings->status() == QSettings::FormatError)
{
}

SettingsManager::~SettingsManager()
{
    delete settings;
}

int SettingsManager::ReadSettings(QString kohde)
{
    // A missing key, or text that is not a decimal integer, reads as 0.
    return settings->value(kohde, QVariant()).toInt();
}

bool SettingsManager::backUpUnparsedFile()
{
    if (!unparsedFileToBackUp)
        return false;
    const QString file = settings->fileName();
    const QString backup = file + QStringLiteral(".bak");
    QFile::remove(backup);
    if (!QFile::copy(file, backup))
        return false;
    unparsedFileToBackUp = false;
    return true;
}

bool SettingsManager::save()
{
    settings->sync();
    // A format error comes from reading the file, not from this write.
    return settings->status() != QSettings::AccessError;
}
