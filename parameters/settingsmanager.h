#ifndef SETTINGSMANAGER_H
#define SETTINGSMANAGER_H

#include <QByteArray>
#include <QHash>
#include <QMap>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariant>

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
    // any value in use that the file no longer holds. Only those values
    // change in the file; every other byte stays. The edited text is read
    // back before it is written (each value set reads as set, everything
    // else as before) and the file after it is written (it holds what was
    // written); otherwise nothing is written, or the save fails. Whatever
    // happens, the values stay in use for the rest of the run.
    bool save(const QStringList &keys);

    // The nine vehicle parameters, read together from one reading of the file.
    static const QStringList Parameters;

    // The settings file's absolute path.
    QString fileName() const { return path; }

public slots:
    int ReadSettings(QString kohde);

private:
    bool write();

    QString path;
    QByteArray fileText;             // the file as last read or written
    QHash<QString, QVariant> stored; // values of `fileText`, for the keys in it
    QStringList storedKeys;          // the keys `stored` was read for; empty: not read
    QMap<QString, int> inUse;        // every value read from the file or saved, by key
    QStringList unsaved;             // keys set since the file last took them, in that order
};

#endif // SETTINGSMANAGER_H
