#ifndef INIDOCUMENT_H
#define INIDOCUMENT_H

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <cstdint>
#include <optional>

// The settings file's bytes, read with the INI syntax of Qt's settings class
// and edited line by line, so that a save changes only the values it saves.
//
// The text is taken as the settings class of the running Qt takes it:
// logical lines (a quoted value or a trailing backslash continues one over
// line ends; a ';' outside quotes starts a comment), "[section]" headers with
// "[General]" as the general section, %-encoded names, a byte order mark as
// that Qt reads it, a repeated key's last value, and values with quotes,
// escapes and ',' lists. Nothing is ever decoded from the binary forms
// ("@Variant(…)", "@ByteArray(…)" …): such a value stays the text it is.
class IniDocument
{
public:
    // Reads `text`, which must outlive the document.
    explicit IniDocument(const QByteArray &text) : bytes(text) {}

    // The values of those `keys` of the general section that the file holds,
    // as the settings class reads them: a text, or a list of texts.
    QHash<QString, QVariant> values(const QStringList &keys) const;

    struct Value
    {
        QString key;
        QByteArray text;
        bool onlyIfMissing = false; // a key the file holds keeps its value
    };

    // The edited text is `head` followed by the document's own bytes from
    // `resumesAt` on: a large file edited near its top is never copied whole.
    struct Edited
    {
        bool readsBack = true;           // the text reads as intended (false: nothing to write)
        bool changed = false;            // the edited text differs from the document's
        QByteArray head;                 // the edited text up to where the document resumes
        qsizetype resumesAt = 0;         // where the document's own bytes follow `head`
        QHash<QString, QVariant> values; // every key of the edit as the edited text reads it

        // The whole edited text of `document`, the text this edit was made on.
        QByteArray text(const QByteArray &document) const
        {
            return changed ? QByteArray(head).append(QByteArrayView(document).sliced(resumesAt))
                           : document;
        }
        // Makes `document` the edited text in place.
        void apply(QByteArray &document) const
        {
            if (changed)
                document.replace(0, resumesAt, head);
        }
    };

    // The text with each key set to its value: a key the file holds gets the
    // new value in place of its last value's text (continuation lines
    // included) where the value differs; a key it lacks is added at the end
    // of the general section, before a last line that is still open there,
    // or under a "[General]" header of its own where the file has no general
    // section. Every other byte stays as it is.
    //
    // The edited text is read back before it is handed out: every key set
    // must read its new value, and every section, key and value of the file
    // must read as before. Where it would not, readsBack is false. Only the
    // lines up to where both texts read alike again are read.
    Edited withValues(const QList<Value> &values) const;

    // An int as the settings class writes one.
    static QByteArray intText(int value) { return QByteArray::number(value); }

    // The int a value holds, or nothing: a text of a decimal, 32-bit number,
    // as the program reads its parameters. A list holds none, as the
    // settings class converts one.
    static std::optional<int> toInt(const QVariant &value);

private:
    struct Span
    {
        qsizetype start = -1;   // the value's first byte, leading blanks skipped
        qsizetype end = -1;     // one past its last byte, trailing blanks dropped
        qsizetype lineEnd = -1; // the line's end, trailing blanks kept: the value is
                                // decoded up to it, as a UTF-8 sequence left open
                                // decodes otherwise before a blank than at the end
    };
    // Where keys the file lacks go, and what surrounds them there.
    struct Insertion
    {
        qsizetype at = 0;
        bool lineEndBefore = false; // the line before ends the file without one
        bool header = false;        // under a "[General]" header of their own
        bool lineEndAfter = false;  // more text follows the header at the top
    };
    struct Found
    {
        QHash<QString, Span> keys;
        Insertion insertion;
    };
    struct Replacement
    {
        qsizetype start = 0;
        qsizetype end = 0;
        QByteArray text;
        QList<QByteArray> lines; // an insertion's lines, as they must read back
    };
    Found find(const QStringList &keys) const;
    enum class ReadBack : std::uint8_t { AsIntended, Otherwise, TextCutShort };
    ReadBack readsAsIntended(const QByteArray &edited, bool complete,
                             const QList<Replacement> &edits) const;
    QByteArray lineEnd() const;

    const QByteArray &bytes;
};

#endif // INIDOCUMENT_H
