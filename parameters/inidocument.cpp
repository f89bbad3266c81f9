#include "inidocument.h"

#include <QStringDecoder>

#include <algorithm>
#include <utility>

namespace {

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

bool isHexDigit(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

int hexValue(char c)
{
    return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10;
}

// The characters that can end, continue or split a logical line.
struct Specials
{
    bool table[256] = {};
    constexpr Specials()
    {
        for (unsigned char c : {'\n', '\r', '"', ';', '=', '\\'})
            table[c] = true;
    }
};
constexpr Specials specials;

// One logical line: from its first non-blank byte to the line end, or to a
// ';' that starts a comment outside quotes. A backslash takes the next byte
// (a line end too), and quotes take line ends, into the same line.
struct LogicalLine
{
    qsizetype start = 0;
    qsizetype end = 0;
    qsizetype equals = -1; // the first '=' outside quotes
    bool header = false;   // a "[section]" line
    bool general = true;   // in the general section (a header: opens it)
};

// Reads the logical line at `pos` and moves `pos` past it. Comment lines are
// passed over. Returns false at the end of the text.
bool readLine(QByteArrayView text, qsizetype &pos, LogicalLine &line)
{
    const qsizetype size = text.size();
    qsizetype i = pos;
    while (i < size && isBlank(text[i]))
        ++i;
    line = LogicalLine{i, i, -1};
    bool quoted = false;
    while (i < size) {
        const char c = text[i];
        if (!specials.table[uchar(c)]) {
            ++i;
            continue;
        }
        ++i;
        if (c == '=') {
            if (!quoted && line.equals < 0)
                line.equals = i - 1;
        } else if (c == '\n' || c == '\r') {
            if (!quoted) {
                --i;
                break;
            }
        } else if (c == '\\') {
            if (i < size) {
                const char escaped = text[i++];
                if (i < size
                    && ((escaped == '\n' && text[i] == '\r')
                        || (escaped == '\r' && text[i] == '\n')))
                    ++i;
            }
        } else if (c == '"') {
            quoted = !quoted;
        } else if (i == line.start + 1) { // ';' opening the line: a comment line
            while (i < size && text[i] != '\n' && text[i] != '\r')
                ++i;
            while (i < size && isBlank(text[i]))
                ++i;
            line.start = i;
        } else if (!quoted) { // ';' after the text: an inline comment
            --i;
            break;
        }
    }
    pos = i;
    line.end = i;
    return line.end > line.start;
}

constexpr char ByteOrderMark[] = "\xef\xbb\xbf";

// Where the text after a UTF-8 byte order mark starts.
qsizetype bodyStart(QByteArrayView text)
{
    return text.startsWith(ByteOrderMark) ? 3 : 0;
}

// Qt 6.4 passes over a byte order mark when it looks for sections, but reads
// the keys of the section before the first header from the file's first
// byte: the mark and the blanks after it then belong to the first line's key
// (decoding the key drops the mark, not the blanks). Qt 6.8 cuts the mark off
// first. Debian ships no release in between; 6.5 is taken as the first of
// the new way.
constexpr bool MarkInFirstKey = QT_VERSION < QT_VERSION_CHECK(6, 5, 0);

// The lines the settings class makes something of, in order: section
// headers, and lines with a key. Other lines are passed over, as it passes
// them over.
class LineReader
{
public:
    explicit LineReader(QByteArrayView text) : text(text), pos(bodyStart(text)) {}

    bool next(LogicalLine &line)
    {
        while (readLine(text, pos, line)) {
            const bool firstLine = std::exchange(first, false);
            if (text[line.start] == '[') {
                const QByteArrayView header = text.sliced(line.start, line.end - line.start);
                const qsizetype close = header.indexOf(']');
                const QByteArrayView name =
                    header.sliced(1, (close < 0 ? header.size() : close) - 1);
                general = name.trimmed().compare("general", Qt::CaseInsensitive) == 0;
                line.header = true;
            } else if (line.equals < 0) {
                continue;
            } else if (MarkInFirstKey && firstLine && text.startsWith(ByteOrderMark)
                       && onlyBlanks(text.sliced(3, line.start - 3))) {
                line.start = 0;
            }
            line.general = general;
            return true;
        }
        return false;
    }

    // Where the next line is looked for.
    qsizetype position() const { return pos; }

    // Whether the next line is read as `other` reads its next line.
    bool sameState(const LineReader &other) const
    {
        return general == other.general && first == other.first;
    }

private:
    static bool onlyBlanks(QByteArrayView text)
    {
        return std::all_of(text.begin(), text.end(), [](char c) { return c == ' ' || c == '\t'; });
    }

    QByteArrayView text;
    qsizetype pos;
    bool general = true; // lines before the first header are in the general section
    bool first = true;
};

// Whether a line end and more text after `line` would still be part of it:
// an open quote, or a backslash that takes the line end in.
bool continuesOverLineEnd(QByteArrayView line, const QByteArray &eol)
{
    const QByteArray probe = line.toByteArray() + eol + "x=1";
    qsizetype pos = 0;
    LogicalLine read;
    readLine(probe, pos, read);
    return read.end > line.size();
}

// A section name or key as the settings class writes it: "%XX" and "%UXXXX"
// for other characters, "\" for "/".
QString decodedName(QByteArrayView raw)
{
    const QString text = QString::fromUtf8(raw);
    QString name;
    name.reserve(text.size());
    for (qsizetype i = 0; i < text.size();) {
        const QChar c = text[i];
        if (c == QLatin1Char('\\')) {
            name += QLatin1Char('/');
            ++i;
            continue;
        }
        if (c == QLatin1Char('%') && i + 1 < text.size()) {
            const bool wide = text[i + 1] == QLatin1Char('U');
            const qsizetype first = i + (wide ? 2 : 1);
            const qsizetype digits = wide ? 4 : 2;
            bool ok = false;
            if (first + digits <= text.size()) {
                const ushort code = QStringView(text).mid(first, digits).toUShort(&ok, 16);
                if (ok) {
                    name += QChar(code);
                    i = first + digits;
                    continue;
                }
            }
        }
        name += c;
        ++i;
    }
    return name;
}

QByteArray encodedName(const QString &name)
{
    QByteArray raw;
    for (const QChar c : name) {
        const char16_t code = c.unicode();
        if (code == u'/')
            raw += '\\';
        else if ((code >= u'a' && code <= u'z') || (code >= u'A' && code <= u'Z')
                 || (code >= u'0' && code <= u'9') || code == u'_' || code == u'-' || code == u'.')
            raw += char(code);
        else if (code <= 0xff)
            raw += '%' + QByteArray::number(code, 16).toUpper().rightJustified(2, '0');
        else
            raw += "%U" + QByteArray::number(code, 16).toUpper().rightJustified(4, '0');
    }
    return raw;
}

void chopBlanks(QString &text, qsizetype keep)
{
    qsizetype size = text.size();
    while (size > keep
           && (text[size - 1] == QLatin1Char(' ') || text[size - 1] == QLatin1Char('\t')))
        --size;
    text.truncate(size);
}

// A value as the settings class reads it: its text with quotes and escapes
// resolved, blanks around it dropped unless quoted, or the list of its items
// where a ',' outside quotes makes one. The "@String(…)" and "@@" forms are
// plain text too; every other "@…(…)" form is left as it is.
QVariant decodedValue(QByteArrayView raw)
{
    static constexpr char escapes[][2] = {{'a', '\a'}, {'b', '\b'},  {'f', '\f'}, {'n', '\n'},
                                          {'r', '\r'}, {'t', '\t'},  {'v', '\v'}, {'"', '"'},
                                          {'?', '?'},  {'\'', '\''}, {'\\', '\\'}};
    QStringDecoder utf8(QStringDecoder::Utf8);
    QStringList items;
    QString text;
    bool isList = false;
    bool inQuotes = false;
    bool quoted = false;
    qsizetype keep = 0; // blanks before this position are the value's own
    const qsizetype size = raw.size();
    qsizetype i = 0;
    auto skipBlanks = [&] {
        while (i < size && (raw[i] == ' ' || raw[i] == '\t'))
            ++i;
        keep = text.size();
    };
    skipBlanks();
    while (i < size) {
        const char c = raw[i];
        if (c == '\\') {
            if (++i == size)
                break;
            const char e = raw[i++];
            const auto *simple = std::find_if(std::begin(escapes), std::end(escapes),
                                              [e](const char *pair) { return pair[0] == e; });
            if (simple != std::end(escapes)) {
                text += QLatin1Char((*simple)[1]);
            } else if (e == 'x' && i < size && isHexDigit(raw[i])) {
                char16_t code = 0;
                while (i < size && isHexDigit(raw[i]))
                    code = char16_t(code * 16 + hexValue(raw[i++]));
                text += QChar(code);
            } else if (e >= '0' && e <= '7') {
                char16_t code = char16_t(e - '0');
                while (i < size && raw[i] >= '0' && raw[i] <= '7')
                    code = char16_t(code * 8 + (raw[i++] - '0'));
                text += QChar(code);
            } else if ((e == '\n' || e == '\r') && i < size && (raw[i] == '\n' || raw[i] == '\r')
                       && raw[i] != e) {
                ++i; // a line continued over "\r\n" or "\n\r"
            }
            // Any other escaped byte is dropped, as is the backslash.
            keep = text.size();
        } else if (c == '"') {
            ++i;
            quoted = true;
            inQuotes = !inQuotes;
            if (!inQuotes)
                skipBlanks();
        } else if (c == ',' && !inQuotes) {
            if (!quoted)
                chopBlanks(text, keep);
            isList = true;
            items << text;
            text.clear();
            quoted = false;
            ++i;
            skipBlanks();
        } else {
            qsizetype j = i + 1;
            while (j < size && raw[j] != '\\' && raw[j] != '"' && raw[j] != ',')
                ++j;
            text += utf8(raw.sliced(i, j - i));
            i = j;
        }
    }
    if (!quoted)
        chopBlanks(text, keep);
    if (isList)
        return items << text;
    if (text.startsWith(QLatin1String("@String(")) && text.endsWith(QLatin1Char(')')))
        return text.sliced(8).chopped(1);
    if (text.startsWith(QLatin1String("@@")))
        return text.sliced(1);
    return text;
}

// Past the line end that follows `pos` (an inline comment is part of the
// line); `ended` tells whether there was one.
qsizetype pastLineEnd(QByteArrayView text, qsizetype pos, bool &ended)
{
    while (pos < text.size() && text[pos] != '\n' && text[pos] != '\r')
        ++pos;
    ended = pos < text.size();
    if (pos + 1 < text.size() && text[pos] == '\r' && text[pos + 1] == '\n')
        return pos + 2;
    return ended ? pos + 1 : pos;
}

} // namespace

IniDocument::Found IniDocument::find(const QStringList &keys) const
{
    // Keys written plainly are matched on their bytes, without decoding.
    QHash<QByteArray, QString> plain;
    for (const QString &key : keys)
        plain.insert(key.toUtf8(), key);

    Found found;
    LineReader reader(bytes);
    LogicalLine line;
    std::optional<LogicalLine> last; // the general section's last header or key
    while (reader.next(line)) {
        if (!line.general)
            continue;
        last = line;
        if (line.header)
            continue;
        const QByteArrayView rawKey =
            QByteArrayView(bytes).sliced(line.start, line.equals - line.start).trimmed();
        QString key = plain.value(QByteArray::fromRawData(rawKey.data(), rawKey.size()));
        if (key.isNull()) {
            if (!rawKey.contains('%') && !rawKey.contains('\\')
                && !rawKey.startsWith(ByteOrderMark))
                continue;
            key = decodedName(rawKey);
            if (!keys.contains(key))
                continue;
        }
        Span value{line.equals + 1, line.end, line.end};
        while (value.start < value.end && (bytes[value.start] == ' ' || bytes[value.start] == '\t'))
            ++value.start;
        while (value.end > value.start
               && (bytes[value.end - 1] == ' ' || bytes[value.end - 1] == '\t'))
            --value.end;
        found.keys.insert(key, value); // a later line of the same key wins
    }

    Insertion &insertion = found.insertion;
    bool ended = false;
    if (!last) {
        insertion.at = bodyStart(bytes);
        insertion.header = true;
        insertion.lineEndAfter = bytes.size() > insertion.at;
    } else if (const qsizetype next = pastLineEnd(bytes, last->end, ended); ended) {
        insertion.at = next;
    } else if (continuesOverLineEnd(QByteArrayView(bytes).sliced(last->start), lineEnd())) {
        // The section ends the file in an open line: anything after it would
        // become part of it.
        insertion.at = last->start;
        insertion.header = last->header;
    } else {
        insertion.at = bytes.size();
        insertion.lineEndBefore = true;
    }
    return found;
}

QHash<QString, QVariant> IniDocument::values(const QStringList &keys) const
{
    QHash<QString, QVariant> values;
    const Found found = find(keys);
    for (auto it = found.keys.cbegin(); it != found.keys.cend(); ++it)
        values.insert(it.key(), decodedValue(QByteArrayView(bytes).sliced(
                                    it.value().start, it.value().lineEnd - it.value().start)));
    return values;
}

IniDocument::Edited IniDocument::withValues(const QList<Value> &values) const
{
    QStringList keys;
    for (const Value &value : values)
        keys << value.key;
    const Found found = find(keys);
    const QByteArray eol = lineEnd();

    Edited edited;
    QList<Replacement> edits;
    Replacement added;
    for (const Value &value : values) {
        const QString text = QString::fromUtf8(value.text);
        const auto it = found.keys.constFind(value.key);
        if (it == found.keys.cend()) {
            added.lines << encodedName(value.key) + '=' + value.text;
            edited.values.insert(value.key, text);
            continue;
        }
        const QVariant old =
            decodedValue(QByteArrayView(bytes).sliced(it->start, it->lineEnd - it->start));
        if (value.onlyIfMissing || (old.typeId() == QMetaType::QString && old.toString() == text)) {
            edited.values.insert(value.key, old);
            continue;
        }
        edits.append({it->start, it->end, value.text, {}});
        edited.values.insert(value.key, text);
    }
    if (!added.lines.isEmpty()) {
        const Insertion &at = found.insertion;
        if (at.header)
            added.lines.prepend("[General]");
        added.start = added.end = at.at;
        added.text = (at.lineEndBefore ? eol : QByteArray()) + added.lines.join(eol) + eol
                     + (at.lineEndAfter ? eol : QByteArray());
        edits.append(added);
    }
    if (edits.isEmpty())
        return edited;

    std::sort(edits.begin(), edits.end(),
              [](const Replacement &a, const Replacement &b) { return a.start < b.start; });
    qsizetype copied = 0;
    for (const Replacement &edit : std::as_const(edits)) {
        edited.head += QByteArrayView(bytes).sliced(copied, edit.start - copied);
        edited.head += edit.text;
        copied = edit.end;
    }
    edited.resumesAt = copied;
    edited.changed = true;
    // The texts read alike again a line or two past the last edit: the
    // read-back is given a stretch of what follows it, and a longer one
    // where that fell short.
    const qsizetype rest = bytes.size() - copied;
    for (qsizetype stretch = qsizetype(1) << 16;; stretch *= 16) {
        const bool complete = stretch >= rest;
        const ReadBack read = readsAsIntended(
            QByteArray(edited.head)
                .append(QByteArrayView(bytes).sliced(copied, complete ? rest : stretch)),
            complete, edits);
        if (read != ReadBack::TextCutShort) {
            edited.readsBack = read == ReadBack::AsIntended;
            return edited;
        }
    }
}

// Reads the edited text back beside this one, line for line: each line
// must be the same bytes, but the lines whose value was replaced (the old
// line with the new value) and the lines inserted (in order, in the general
// section). Once every edit is passed and both readers stand at the same
// place of the same bytes, the rest reads alike and is not read. `edited`
// may be the edited text's beginning only (`complete` false): a line that
// reaches its end may go on, and the answer is then that it was cut short.
IniDocument::ReadBack IniDocument::readsAsIntended(const QByteArray &edited, bool complete,
                                                   const QList<Replacement> &edits) const
{
    const auto lineOf = [](const QByteArray &text, const LogicalLine &line) {
        return QByteArrayView(text).sliced(line.start, line.end - line.start);
    };
    qsizetype shift = 0;
    for (const Replacement &edit : edits)
        shift += edit.text.size() - (edit.end - edit.start);
    const qsizetype editsEnd = edits.last().end; // they are sorted and do not overlap
    LineReader before(bytes);
    LineReader after(edited);
    LineReader passed = before; // as `before` stood after the last line compared
    LogicalLine old;
    LogicalLine now;
    bool cut = false;
    const auto readAfter = [&] {
        const bool read = after.next(now);
        cut = !complete && after.position() >= edited.size();
        return read && !cut;
    };
    const ReadBack otherwise = ReadBack::Otherwise;
    bool haveOld = before.next(old);
    qsizetype next = 0; // the first edit not yet read back
    for (;;) {
        if (next == edits.size() && passed.position() >= editsEnd
            && after.position() - passed.position() == shift && after.sameState(passed))
            return ReadBack::AsIntended;
        if (next < edits.size() && !edits[next].lines.isEmpty()
            && (!haveOld || old.start >= edits[next].start)) {
            for (const QByteArray &expected : edits[next].lines) {
                if (!readAfter())
                    return cut ? ReadBack::TextCutShort : otherwise;
                if (lineOf(edited, now) != expected || !now.general)
                    return otherwise;
            }
            ++next;
            continue;
        }
        if (!haveOld) {
            const bool more = readAfter();
            if (cut)
                return ReadBack::TextCutShort;
            return next == edits.size() && !more ? ReadBack::AsIntended : otherwise;
        }
        if (!readAfter())
            return cut ? ReadBack::TextCutShort : otherwise;
        const QByteArrayView got = lineOf(edited, now);
        if (next < edits.size() && edits[next].lines.isEmpty() && edits[next].start >= old.start
            && edits[next].start <= old.end) {
            const Replacement &edit = edits[next++];
            const qsizetype head = edit.start - old.start;
            const qsizetype tail = old.end - edit.end;
            if (got.size() != head + edit.text.size() + tail
                || got.first(head) != QByteArrayView(bytes).sliced(old.start, head)
                || got.sliced(head, edit.text.size()) != edit.text
                || got.last(tail) != QByteArrayView(bytes).sliced(edit.end, tail))
                return otherwise;
        } else if (got != lineOf(bytes, old)) {
            return otherwise;
        }
        passed = before;
        haveOld = before.next(old);
    }
}

QByteArray IniDocument::lineEnd() const
{
    const qsizetype end = bytes.indexOf('\n');
    const qsizetype cr = bytes.indexOf('\r');
    if (cr >= 0 && (end < 0 || cr < end))
        return cr + 1 == end ? QByteArray("\r\n") : QByteArray("\r");
    return "\n";
}

std::optional<int> IniDocument::toInt(const QVariant &value)
{
    if (value.typeId() != QMetaType::QString)
        return std::nullopt;
    bool ok = false;
    const int number = value.toString().toInt(&ok);
    return ok ? std::optional<int>(number) : std::nullopt;
}
