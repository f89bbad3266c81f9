#include "inifile.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>
#include <QStringDecoder>

namespace IniFile {

namespace {

// "@Variant(", "@ByteArray(", "@Rect(" …: values the settings class would
// decode, some with its binary stream reader.
bool isBinaryEncoded(const QString &value)
{
    static const QRegularExpression encoded(QStringLiteral("@\\w*\\("));
    return value.contains(encoded);
}

// Cuts an inline "; comment" (outside quotes) off a value. Returns false if
// there was one.
bool dropInlineComment(QString &value)
{
    bool quoted = false;
    for (qsizetype i = 0; i < value.size(); ++i) {
        if (value[i] == QLatin1Char('"'))
            quoted = !quoted;
        else if (value[i] == QLatin1Char(';') && !quoted) {
            value = value.left(i).trimmed();
            return false;
        }
    }
    return true;
}

bool readIni(QIODevice &device, QSettings::SettingsMap &map)
{
    map = parse(device.readAll()).values;
    return true; // what could be read is used; the save decides about the rest
}

// A rewrite drops what was not parsed; before it does, the file as it stands
// must be on disk as "<file>.bak", byte for byte.
bool backedUpIfIncomplete(const QString &path)
{
    if (!QFileInfo::exists(path))
        return true;
    const QByteArray current = contentsOf(path);
    if (parse(current).complete)
        return true;
    const QString backup = path + QStringLiteral(".bak");
    if (QFileInfo(backup).isFile() && contentsOf(backup) == current)
        return true;
    // Written aside and renamed into place: a copy that fails half-way is
    // removed, and an older backup stays as it was.
    QSaveFile copy(backup);
    if (!copy.open(QIODevice::WriteOnly) || copy.write(current) != current.size() || !copy.commit())
        return false;
    return contentsOf(backup) == current;
}

bool writeIni(QIODevice &device, const QSettings::SettingsMap &map)
{
    auto *file = qobject_cast<QFileDevice *>(&device);
    if (!file || !backedUpIfIncomplete(file->fileName()))
        return false;
    const QByteArray text = compose(map);
    // Flushing here makes a full disk fail this write, so that the settings
    // class does not put a short file in place of the old one.
    return file->write(text) == text.size() && file->flush();
}

} // namespace

Contents parse(const QByteArray &text)
{
    Contents contents;
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString decoded = utf8(text);
    if (utf8.hasError())
        contents.complete = false;

    QString section; // empty: the general section
    bool sectionKnown = true;
    for (const QString &rawLine : decoded.split(QLatin1Char('\n'))) {
        QString line = rawLine.trimmed();
        if (line.startsWith(QChar(0xfeff))) // a byte order mark
            line = line.mid(1).trimmed();
        if (line.isEmpty())
            continue;
        if (line.startsWith(QLatin1Char(';'))) {
            contents.complete = false;
            continue;
        }
        if (line.startsWith(QLatin1Char('['))) {
            section = line.mid(1, line.indexOf(QLatin1Char(']')) - 1).trimmed();
            sectionKnown = line.endsWith(QLatin1Char(']')) && !section.isEmpty()
                           && !section.contains(QLatin1Char('/'))
                           && !section.contains(QLatin1Char(']'));
            if (section.compare(QLatin1String("general"), Qt::CaseInsensitive) == 0)
                section.clear();
            contents.complete = contents.complete && sectionKnown;
            continue;
        }
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        const QString name = line.left(equals).trimmed();
        QString value = line.mid(equals + 1).trimmed();
        const QString key = section.isEmpty() ? name : section + QLatin1Char('/') + name;
        if (!dropInlineComment(value))
            contents.complete = false;
        if (!sectionKnown || equals < 1 || name.isEmpty() || name.contains(QLatin1Char('/'))
            || isBinaryEncoded(value) || contents.values.contains(key)) {
            contents.complete = false;
            continue;
        }
        contents.values.insert(key, value);
    }
    return contents;
}

QByteArray compose(const QSettings::SettingsMap &values)
{
    // One block of lines per section; keys without a section come first,
    // under [General].
    QMap<QString, QByteArray> sections;
    for (auto it = values.cbegin(); it != values.cend(); ++it) {
        const qsizetype slash = it.key().indexOf(QLatin1Char('/'));
        sections[slash < 0 ? QString() : it.key().left(slash)] +=
            it.key().mid(slash + 1).toUtf8() + '=' + it.value().toString().toUtf8() + '\n';
    }
    QByteArray text;
    for (auto it = sections.cbegin(); it != sections.cend(); ++it) {
        if (!text.isEmpty())
            text += '\n';
        text += '[' + (it.key().isEmpty() ? QByteArray("General") : it.key().toUtf8()) + "]\n";
        text += it.value();
    }
    return text;
}

QByteArray contentsOf(const QString &path)
{
    QFile file(path);
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.readAll();
}

QSettings::Format format()
{
    static const QSettings::Format registered =
        QSettings::registerFormat(QStringLiteral("ini"), readIni, writeIni, Qt::CaseSensitive);
    return registered;
}

} // namespace IniFile
