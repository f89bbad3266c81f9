// Helpers shared by the GUI tests: a private working directory, captured
// console messages, and a way to answer modal dialogs.
#ifndef TESTSUPPORT_H
#define TESTSUPPORT_H

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>
#include <QTimer>
#include <QWidget>
#include <QtTest>

#include <functional>

// Makes a fresh temporary directory the working directory for its lifetime,
// so "settings.ini" and "logo.png" are looked up there.
class WorkingDirectory
{
public:
    WorkingDirectory() : previous(QDir::currentPath()) { QDir::setCurrent(dir.path()); }
    ~WorkingDirectory() { QDir::setCurrent(previous); }

    QString path(const QString &name = QString()) const
    {
        return name.isEmpty() ? dir.path() : dir.filePath(name);
    }

    void write(const QString &name, const QByteArray &contents) const
    {
        QFile file(path(name));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(contents);
    }

    QByteArray read(const QString &name) const
    {
        QFile file(path(name));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

private:
    QTemporaryDir dir;
    QString previous;
};

// Collects every message sent through Qt's message handler while it lives.
class MessageLog
{
public:
    MessageLog()
    {
        lines().clear();
        previous = qInstallMessageHandler(&MessageLog::handle);
    }
    ~MessageLog() { qInstallMessageHandler(previous); }

    static QStringList &lines()
    {
        static QStringList collected;
        return collected;
    }

private:
    static void handle(QtMsgType type, const QMessageLogContext &, const QString &message)
    {
        static const char *const names[] = {"debug", "warning", "critical", "fatal", "info"};
        lines() << QStringLiteral("%1: %2").arg(QLatin1String(names[type]), message);
    }

    QtMessageHandler previous;
};

// Runs `answer` on the next modal widget of type T that becomes active; the
// caller then opens the dialog with a blocking call. Gives up after 5 s.
template <typename T>
void whenModal(std::function<void(T *)> answer)
{
    auto *poll = new QTimer;
    auto *waited = new QElapsedTimer;
    waited->start();
    QObject::connect(poll, &QTimer::timeout, [poll, waited, answer]() {
        T *dialog = qobject_cast<T *>(QApplication::activeModalWidget());
        if (!dialog && waited->elapsed() < 5000)
            return;
        poll->stop();
        poll->deleteLater();
        delete waited;
        if (dialog)
            answer(dialog);
    });
    poll->start(10);
}

// Finds a visible push button of a dialog by its text.
inline QAbstractButton *buttonWithText(QWidget *dialog, const QString &text)
{
    for (QAbstractButton *button : dialog->findChildren<QAbstractButton *>())
        if (button->text().remove(QLatin1Char('&')) == text)
            return button;
    return nullptr;
}

#endif // TESTSUPPORT_H
