// A libFuzzer target: one input is a settings file's bytes. The settings
// store must read the nine parameters as Qt's settings class reads them, and
// a save of one of them must either be refused with the file untouched or
// leave a file that the settings class reads as before, with that one value
// as saved. Any difference aborts, and libFuzzer keeps the input.
#include "settingsmanager.h"
#include "settingsoracle.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <new>

namespace {

[[noreturn]] void difference(const QString &what)
{
    std::fprintf(stderr, "ERROR: settings-fuzzer: %s\n", qPrintable(what));
    std::abort();
}

QByteArray contents(const QString &name)
{
    QFile file(name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(unreadable)");
}

// The store reads settings.ini in the working folder: each input is run in
// a folder of this run's, and libFuzzer's own relative paths are kept.
class InWorkingFolder
{
public:
    InWorkingFolder()
    {
        static QTemporaryDir folder;
        if (!folder.isValid() || !QDir::setCurrent(folder.path()))
            difference(QStringLiteral("cannot make a working folder"));
    }
    ~InWorkingFolder() { QDir::setCurrent(previous); }

private:
    QString previous = QDir::currentPath();
};

} // namespace

// A binary form can ask the settings class to decode a list of billions of
// items. Its allocation then fails, as it would without the sanitizer, and
// Qt throws std::bad_alloc instead of the sanitizer ending the run.
extern "C" const char *__asan_default_options()
{
    return "allocator_may_return_null=1";
}

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    static QCoreApplication application(*argc, *argv);
    // The settings class's warnings about binary forms it cannot decode are
    // the oracle's, not findings.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const InWorkingFolder folder;
    const QByteArray before(reinterpret_cast<const char *>(data), qsizetype(size));
    {
        QFile file(QStringLiteral("settings.ini"));
        if (!file.open(QIODevice::WriteOnly) || file.write(before) != before.size())
            difference(QStringLiteral("cannot write settings.ini"));
    }
    std::unique_ptr<QSettings> reader;
    try {
        reader = oracle(before);
    } catch (const std::bad_alloc &) {
        return 0; // the settings class cannot read it: nothing to compare with
    }
    SettingsManager store;
    for (const QString &key : SettingsManager::Parameters) {
        const int read = store.ReadSettings(key);
        const int expected = parameterAsRead(reader->value(key));
        if (read != expected)
            difference(QStringLiteral("%1 reads %2, the settings class %3")
                           .arg(key)
                           .arg(read)
                           .arg(expected));
    }

    // One parameter saved as the main window saves it, chosen by the input.
    const QString key = SettingsManager::Parameters[size % SettingsManager::Parameters.size()];
    const int value = 4321;
    store.settings->setValue(key, value);
    const bool saved = store.save({key});
    const QByteArray after = contents(store.fileName());
    if (!saved) {
        if (after != before)
            difference(QStringLiteral("a refused save of %1 changed the file").arg(key));
        return 0;
    }
    const auto afterReader = oracle(after);
    if (afterReader->value(key).toString() != QString::number(value))
        difference(QStringLiteral("%1 does not read as saved").arg(key));
    if (!sameReading(oracleValues(*afterReader, {key}), oracleValues(*reader, {key})))
        difference(QStringLiteral("a save of %1 changed how other keys read").arg(key));
    return 0;
}
