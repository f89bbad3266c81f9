// Measures a large settings.ini: another program's million keys (about
// 50 MB) beside the nine parameters. Reports how much longer the main window
// takes to open on it than without a file, the time of each save and of
// reading the parameters after it, and the peak resident memory against the
// file's size.
//
//   QT_QPA_PLATFORM=offscreen settingsbench [MEGABYTES …]    (10 and 50 by default)
//
// Sizes are measured in the order given; give them smallest first, as the
// peak is the process's own.
#include "mainwindow.h"
#include "settingsmanager.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

// The process's peak resident memory so far, in KiB.
long peakKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    return -1;
}

// Writes the file a line at a time, so that the benchmark's own copy of it
// does not count in the peak.
qsizetype writeLargeSettings(const QString &name, qsizetype megabytes)
{
    QFile file(name);
    if (!file.open(QIODevice::WriteOnly))
        return 0;
    file.write("[General]\nhitausmomentti=1000\nTireSize=2550\nperavalitys=373\n"
               "rpmredline=6000\nvaihde1=350\nvaihde2=210\nvaihde3=140\nvaihde4=100\n"
               "vaihde5=80\n\n[Another%20Program]\n");
    for (int key = 0; file.pos() < megabytes * 1000 * 1000; ++key)
        file.write("entry" + QByteArray::number(key) + "=\"some text, "
                   + QByteArray::number(key * 7) + "; with a quote \\\" inside\"\n");
    return file.pos();
}

// The median time of building the main window in the working directory, in ms.
double medianWindowMs()
{
    std::vector<double> times;
    for (int round = 0; round < 5; ++round) {
        QElapsedTimer clock;
        clock.start();
        MainWindow window;
        times.push_back(double(clock.nsecsElapsed()) / 1e6);
    }
    std::sort(times.begin(), times.end());
    return times[2];
}

int measure(qsizetype megabytes)
{
    QTemporaryDir dir;
    QDir::setCurrent(dir.path());
    const double emptyWindowMs = medianWindowMs();
    const qsizetype fileSize = writeLargeSettings(QStringLiteral("settings.ini"), megabytes);
    if (fileSize == 0)
        return 1;
    const long before = peakKiB();

    QElapsedTimer opening;
    opening.start();
    SettingsManager store;
    const QStringList parameters = {"hitausmomentti", "TireSize", "peravalitys",
                                    "rpmredline",     "vaihde1",  "vaihde2",
                                    "vaihde3",        "vaihde4",  "vaihde5"};
    for (const QString &key : parameters)
        store.ReadSettings(key);
    const double openingMs = double(opening.nsecsElapsed()) / 1e6;
    std::vector<double> times;
    for (int round = 0; round < 5; ++round) {
        store.settings->setValue(QStringLiteral("hitausmomentti"), 1100 + round);
        QElapsedTimer clock;
        clock.start();
        if (!store.save({QStringLiteral("hitausmomentti")})) {
            std::printf("save failed\n");
            return 1;
        }
        times.push_back(double(clock.nsecsElapsed()) / 1e6);
    }
    std::sort(times.begin(), times.end());
    const long storePeak = peakKiB();

    const double largeWindowMs = medianWindowMs();
    MainWindow window;
    std::vector<double> rereads;
    for (int round = 0; round < 5; ++round) {
        window.writeDatabase(1200 + round, QStringLiteral("hitausmomentti"));
        QElapsedTimer clock;
        clock.start();
        window.readDatabase();
        rereads.push_back(double(clock.nsecsElapsed()) / 1e6);
    }
    std::sort(rereads.begin(), rereads.end());

    const double fileKiB = double(fileSize) / 1024;
    std::printf("settings.ini of %.1f MB; read back: hitausmomentti %d, vaihde5 %d\n",
                double(fileSize) / 1e6, store.ReadSettings(QStringLiteral("hitausmomentti")),
                store.ReadSettings(QStringLiteral("vaihde5")));
    std::printf("opening it and reading the nine parameters: %.0f ms\n", openingMs);
    std::printf("save: median %.0f ms, slowest %.0f ms (5 saves)\n", times[2], times.back());
    std::printf("main window: %.0f ms on it, %.0f ms without a file (median of 5)\n", largeWindowMs,
                emptyWindowMs);
    std::printf("reading the parameters after a save: median %.1f ms, slowest %.1f ms\n",
                rereads[2], rereads.back());
    std::printf("peak resident memory: %.1f x the file (%.2f x before the store was made)\n",
                double(storePeak) / fileKiB, double(before) / fileKiB);
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QList<qsizetype> sizes;
    for (int i = 1; i < argc; ++i)
        sizes << QByteArray(argv[i]).toLongLong();
    if (sizes.isEmpty())
        sizes = {10, 50};
    for (const qsizetype megabytes : std::as_const(sizes))
        if (const int failed = measure(megabytes))
            return failed;
    return 0;
}
