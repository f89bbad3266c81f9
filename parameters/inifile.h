#ifndef INIFILE_H
#define INIFILE_H

#include <QByteArray>
#include <QSettings>

// The settings file's INI text, read and written by the program itself so
// that nothing in it is ever decoded: values stay the text they are on disk
// (the settings class's own INI reader decodes "@Variant(…)" values with a
// binary stream reader, which a hostile file can crash or exhaust). Files the
// settings class writes in INI format read the same as with its own reader.
namespace IniFile {

struct Contents
{
    QSettings::SettingsMap values; // "key" in [General], "section/key" elsewhere
    // False when a rewrite would lose something: comments, lines that are not
    // "key=value", binary-encoded values, repeated keys, text that is not UTF-8.
    bool complete = true;
};

Contents parse(const QByteArray &text);
QByteArray compose(const QSettings::SettingsMap &values);

// The bytes of a regular file, or nothing; a FIFO or device is never opened.
QByteArray contentsOf(const QString &path);

// The file format to construct the settings object with. Its writer keeps a
// copy of a file that was not parsed in full as "<file>.bak" before it
// rewrites it, and refuses to rewrite it when the copy cannot be made.
QSettings::Format format();

} // namespace IniFile

#endif // INIFILE_H
