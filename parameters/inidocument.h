#ifndef INIDOCUMENT_H
#define INIDOCUMENT_H

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// The settings file's bytes, read with the INI syntax of Qt's settings class
// and edited line by line, so that a save changes only the values it saves.
//
// The text is taken as the settings class takes it: logical lines (a quoted
// value or a trailing backslash continues one over line ends; a ';' outside
// quotes starts a comment), "[section]" headers with "[General]" as the
// general section, %-encoded names, a repeated key's last value, and values
// with quotes, escapes and ',' lists. Nothing is ever decoded from the
// binary forms ("@Variant(…)", "@ByteArray(…)" …): such a value stays the
// text it is.
class IniDocument
{
public:
    // Reads and edits `text` in place; it must outlive the document.
    explicit IniDocument(QByteArray &text) : bytes(text) {}

    // The texts of those `keys` of the general section that the file holds,
    // as the settings class reads them. A list reads as its items joined by
    // ','.
    QHash<QString, QString> values(const QStringList &keys) const;

    struct Value
    {
        QString key;
        QByteArray text;
        bool onlyIfMissing = false; // a key the file holds keeps its value
    };

    // Sets each key to its value: a key the file holds gets the new value in
    // place of its last value's text (continuation lines included) where the
    // value differs; a key it lacks is added at the end of the general
    // section, under a "[General]" header at the top where there is none.
    // Every other byte stays as it is. Returns whether anything changed.
    bool setValues(const QList<Value> &values);

    // An int as the settings class writes one.
    static QByteArray intText(int value) { return QByteArray::number(value); }

    // The int a value's text holds, or nothing: decimal, 32 bits, as the
    // program reads its parameters.
    static std::optional<int> toInt(const QString &text);

private:
    struct Span
    {
        qsizetype start = -1; // the value's first byte, leading blanks skipped
        qsizetype end = -1;   // one past its last byte, trailing blanks dropped
    };
    struct Found
    {
        QHash<QString, Span> keys;
        qsizetype generalEnd = -1; // where a new general key goes; -1: no [General] header
        bool needsLineEnd = false; // the line before generalEnd ends the file without one
    };
    Found find(const QStringList &keys) const;
    QByteArray lineEnd() const;

    QByteArray &bytes;
};

#endif // INIDOCUMENT_H
