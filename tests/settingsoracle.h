// Qt's settings class as the oracle of how a settings file reads: shared by
// the parameter tests and the settings fuzzer.
#ifndef SETTINGSORACLE_H
#define SETTINGSORACLE_H

#include <QByteArray>
#include <QCoreApplication>
#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QStringList>
#include <QVariantMap>

#include <memory>

// The settings class's own INI reader, on a copy of `text` under a name of
// its own: settings objects on one path share what they read within a process.
inline std::unique_ptr<QSettings> oracle(const QByteArray &text)
{
    static int copies = 0;
    const QString name = QDir::temp().filePath(
        QStringLiteral("oracle-%1-%2.ini").arg(QCoreApplication::applicationPid()).arg(++copies));
    QFile file(name);
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size())
        qFatal("cannot write %s", qPrintable(name));
    file.close();
    auto settings = std::make_unique<QSettings>(name, QSettings::IniFormat);
    settings->allKeys(); // read now; the copy can go
    QFile::remove(name);
    return settings;
}

// What the program reads a parameter as: what the settings class converts
// it to, but for the two places where the program reads 0 on purpose: a
// binary form ("@ByteArray(1500)" converts to 1500; the program decodes no
// binary form) and a number beyond 32 bits (the conversion wraps).
inline int parameterAsRead(const QVariant &value)
{
    const bool binary = value.typeId() != QMetaType::QString
                        && value.typeId() != QMetaType::QStringList
                        && value.typeId() != QMetaType::QVariantList;
    bool ok = false;
    const qlonglong number = value.toLongLong(&ok);
    if (binary || (ok && number != int(number)))
        return 0;
    return value.toInt();
}

// Everything an oracle read, but the keys `except` (which "/key" also names).
inline QVariantMap oracleValues(const QSettings &settings, const QStringList &except)
{
    QVariantMap values;
    for (const QString &key : settings.allKeys()) {
        const QString name = key.split('/', Qt::SkipEmptyParts).join('/');
        if (!name.isEmpty() && !except.contains(name))
            values.insert(key, settings.value(key));
    }
    return values;
}

// Whether two readings hold the same keys with the same values. A value is
// the same when it is equal or, where equality fails it (a NaN decoded from
// a binary form), when it serialises to the same bytes.
inline bool sameReading(const QVariantMap &a, const QVariantMap &b)
{
    if (a.keys() != b.keys())
        return false;
    const auto bytes = [](const QVariant &value) {
        QByteArray data;
        QDataStream stream(&data, QIODevice::WriteOnly);
        stream << value;
        return data;
    };
    for (auto it = a.cbegin(), other = b.cbegin(); it != a.cend(); ++it, ++other)
        if (it.value() != other.value() && bytes(it.value()) != bytes(other.value()))
            return false;
    return true;
}

#endif // SETTINGSORACLE_H
