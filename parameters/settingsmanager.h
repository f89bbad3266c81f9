#ifndef SETTINGSMANAGER_H
#define SETTINGSMANAGER_H

#include <QObject>
#include <QSet>
#include <QString>
#include <QVariantMap>

class QSettings;

// The vehicle parameters kept in "settings.ini" in the working directory.
// Values are read one key at a time; the main window sets them on `settings`
// directly and then calls save() with the keys it set.
class SettingsManager : public QObject
{
    Q_OBJECT

public:
    explicit SettingsManager(QObject *parent = nullptr);
    ~SettingsManager() override;

    QSettings *settings;

    enum class SaveResult { Saved, SavedWithBackup, Failed };

    // Writes the values just set under `keys` to the file now, together with
    // any value in use that the file no longer holds, and reads the file
    // back: only a file that holds them all is a save. A file that was not
    // parsed in full is copied to "settings.ini.bak" before it is rewritten,
    // and left untouched when the copy cannot be made. Whatever happens, the
    // values stay in use for the rest of the run.
    SaveResult save(const QStringList &keys);

    // The settings file's absolute path.
    QString fileName() const { return path; }

public slots:
    int ReadSettings(QString kohde);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    SaveResult write();

    QString path;
    QVariantMap inUse;         // every value read from the file or saved, by key
    QSet<QString> unsaved;     // keys saved since the file last took them
    bool writePending = false; // a save stopped before the settings object could write
};

#endif // SETTINGSMANAGER_H
