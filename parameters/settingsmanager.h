#ifndef SETTINGSMANAGER_H
#define SETTINGSMANAGER_H

#include <QByteArray>
#include <QMap>
#include <QObject>
#include <QString>
#include <QStringList>

class QSettings;

// The vehicle parameters kept in "settings.ini" in the working directory.
// Values are read one key at a time; the main window sets them on `settings`
// and then calls save() with the keys it set.
class SettingsManager : public QObject
{
    Q_OBJECT

public:
    explicit SettingsManager(QObject *parent = nullptr);
    ~SettingsManager() override;

    // The values set in this run. It lives in memory only: save() alone
    // writes the file.
    QSettings *settings;

    // Writes the values just set under `keys` to the file now, together with
    // any value in use that the file no longer holds, and reads the file
    // back: only a file that holds exactly what was written is a save. Only
    // those values change in the file; every other byte stays. Whatever
    // happens, the values stay in use for the rest of the run.
    bool save(const QStringList &keys);

    // The settings file's absolute path.
    QString fileName() const { return path; }

public slots:
    int ReadSettings(QString kohde);

private:
    bool write();

    QString path;
    QByteArray fileText;      // the file as last read or written
    QMap<QString, int> inUse; // every value read from the file or saved, by key
    QStringList unsaved;      // keys set since the file last took them, in that order
};

#endif // SETTINGSMANAGER_H
