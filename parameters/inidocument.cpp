#include "inidocument.h"

#include <QStringDecoder>

#include <algorithm>

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
};

// Reads the logical line at `pos` and moves `pos` past it. Comment lines are
// passed over. Returns false at the end of the text.
bool readLine(const QByteArray &text, qsizetype &pos, LogicalLine &line)
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

// A value's text as the settings class reads it: quotes and escapes
// resolved, blanks around it dropped unless quoted. The "@String(…)" and
// "@@" forms are plain text too; every other "@…(…)" form is left as it is.
QString decodedValue(QByteArrayView raw)
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
    if (isList) {
        items << text;
        return items.join(QLatin1Char(','));
    }
    if (text.startsWith(QLatin1String("@String(")) && text.endsWith(QLatin1Char(')')))
        return text.sliced(8).chopped(1);
    if (text.startsWith(QLatin1String("@@")))
        return text.sliced(1);
    return text;
}

// Past the line end that follows `pos` (an inline comment is part of the
// line); `ended` tells whether there was one.
qsizetype pastLineEnd(const QByteArray &text, qsizetype pos, bool &ended)
{
    while (pos < text.size() && text[pos] != '\n' && text[pos] != '\r')
        ++pos;
    ended = pos < text.size();
    if (pos + 1 < text.size() && text[pos] == '\r' && text[pos + 1] == '\n')
        return pos + 2;
    return ended ? pos + 1 : pos;
}

qsizetype textStart(const QByteArray &text)
{
    return text.startsWith("\xef\xbb\xbf") ? 3 : 0; // a UTF-8 byte order mark
}

} // namespace

IniDocument::Found IniDocument::find(const QStringList &keys) const
{
    // Keys written plainly are matched on their bytes, without decoding.
    QHash<QByteArray, QString> plain;
    for (const QString &key : keys)
        plain.insert(key.toUtf8(), key);

    Found found;
    bool ended = true;
    bool general = true; // lines before the first header are in the general section
    qsizetype pos = textStart(bytes);
    LogicalLine line;
    while (readLine(bytes, pos, line)) {
        const QByteArrayView text = QByteArrayView(bytes).sliced(line.start, line.end - line.start);
        if (text.startsWith('[')) {
            const qsizetype close = text.indexOf(']');
            const QByteArrayView name = text.sliced(1, (close < 0 ? text.size() : close) - 1);
            general = name.trimmed().compare("general", Qt::CaseInsensitive) == 0;
            if (general)
                found.generalEnd = pastLineEnd(bytes, line.end, ended);
            continue;
        }
        if (!general || line.equals < 0)
            continue;
        if (found.generalEnd >= 0)
            found.generalEnd = pastLineEnd(bytes, line.end, ended);
        const QByteArrayView rawKey = text.first(line.equals - line.start).trimmed();
        QString key = plain.value(QByteArray::fromRawData(rawKey.data(), rawKey.size()));
        if (key.isNull()) {
            if (!rawKey.contains('%') && !rawKey.contains('\\'))
                continue;
            key = decodedName(rawKey);
            if (!keys.contains(key))
                continue;
        }
        Span value{line.equals + 1, line.end};
        while (value.start < value.end && (bytes[value.start] == ' ' || bytes[value.start] == '\t'))
            ++value.start;
        while (value.end > value.start
               && (bytes[value.end - 1] == ' ' || bytes[value.end - 1] == '\t'))
            --value.end;
        found.keys.insert(key, value); // a later line of the same key wins
    }
    found.needsLineEnd = !ended;
    return found;
}

QHash<QString, QString> IniDocument::values(const QStringList &keys) const
{
    QHash<QString, QString> values;
    const Found found = find(keys);
    for (auto it = found.keys.cbegin(); it != found.keys.cend(); ++it)
        values.insert(it.key(), decodedValue(QByteArrayView(bytes).sliced(
                                    it.value().start, it.value().end - it.value().start)));
    return values;
}

bool IniDocument::setValues(const QList<Value> &values)
{
    QStringList keys;
    for (const Value &value : values)
        keys << value.key;
    const Found found = find(keys);
    const QByteArray eol = lineEnd();

    QList<std::pair<Span, QByteArray>> edits;
    QByteArray added;
    for (const Value &value : values) {
        const auto it = found.keys.constFind(value.key);
        if (it == found.keys.cend()) {
            added += encodedName(value.key) + '=' + value.text + eol;
        } else if (!value.onlyIfMissing) {
            const QByteArrayView old = QByteArrayView(bytes).sliced(it->start, it->end - it->start);
            if (decodedValue(old) != QString::fromUtf8(value.text))
                edits.append({*it, value.text});
        }
    }
    if (!added.isEmpty()) {
        if (found.generalEnd >= 0) {
            edits.append({Span{found.generalEnd, found.generalEnd},
                          found.needsLineEnd ? eol + added : added});
        } else {
            const qsizetype top = textStart(bytes);
            const bool more = bytes.size() > top;
            edits.append({Span{top, top}, "[General]" + eol + added + (more ? eol : QByteArray())});
        }
    }
    // From the last to the first, so that the spans found stay true.
    std::sort(edits.begin(), edits.end(),
              [](const auto &a, const auto &b) { return a.first.start > b.first.start; });
    for (const auto &[span, text] : edits)
        bytes.replace(span.start, span.end - span.start, text);
    return !edits.isEmpty();
}

QByteArray IniDocument::lineEnd() const
{
    const qsizetype end = bytes.indexOf('\n');
    const qsizetype cr = bytes.indexOf('\r');
    if (cr >= 0 && (end < 0 || cr < end))
        return cr + 1 == end ? QByteArray("\r\n") : QByteArray("\r");
    return "\n";
}

std::optional<int> IniDocument::toInt(const QString &text)
{
    bool ok = false;
    const int value = text.toInt(&ok);
    return ok ? std::optional<int>(value) : std::nullopt;
}
