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

    // Keeps a copy of a file that could not be fully parsed as
    // "settings.ini.bak", once, before anything is written over it.
    // Returns true when it made that copy just now.
    bool backUpUnparsedFile();
    // Writes the values set so far to the file; false if the file could not
    // be written (the values stay readable for the rest of the run).
    bool save();

public slots:
    int ReadSettings(QString kohde);

private:
    bool unparsedFileToBackUp;
};

#endif // SETTINGSMANAGER_H
