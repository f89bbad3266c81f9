#ifndef SETTINGSMANAGER_H
#define SETTINGSMANAGER_H

#include <QObject>
#include <QString>

class QSettings;

// The vehicle parameters kept in "settings.ini" in the working directory.
// Values are read one key at a time; the main window sets them on `settings`
// directly and then calls save().
class SettingsManager : public QObject
{
    Q_OBJECT

public:
    explicit SettingsManager(QObject *parent = nullptr);
    ~SettingsManager() override;

    QSettings *settings;

    enum class SaveResult { Saved, SavedWithBackup, Failed };

    // Writes the values set so far to the file now. Before the first write
    // over a file that could not be parsed in full, keeps a copy of it as
    // "settings.ini.bak". After a failure the values stay readable for the
    // rest of the run.
    SaveResult save();

public slots:
    int ReadSettings(QString kohde);

private:
    bool backedUp = false;
};

#endif // SETTINGSMANAGER_H
