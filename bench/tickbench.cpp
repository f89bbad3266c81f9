// Measures what a run costs: one tick with the live layer repainted against
// the same tick with the whole plot redrawn, the tick rate a real run
// delivers, and start-up time against a bare Qt main window.
//
//   tickbench            all three measurements
//   tickbench --soak     100,000 ticks with the controls swept; memory and graphs
//   tickbench --run S    a run at full throttle, no load, on the real display
//                        for S seconds (for displaybench where it cannot
//                        click, as on Wayland)
#include "machineformath.h"
#include "mainwindow.h"
#include "ui_mainwindow.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

struct Spread
{
    double median;
    double p99;
};

double milliseconds(const QElapsedTimer &clock)
{
    return static_cast<double>(clock.nsecsElapsed()) / 1e6;
}

Spread spreadOf(std::vector<double> samples)
{
    std::sort(samples.begin(), samples.end());
    return {samples[samples.size() / 2], samples[samples.size() * 99 / 100]};
}

void settle()
{
    for (int i = 0; i < 20; ++i)
        QCoreApplication::processEvents();
}

// A window running the worked example's vehicle at full throttle without
// load, so that the engine speeds up and the live point moves every tick;
// its timer stopped so that the benchmark drives the ticks.
void startRun(MainWindow &window)
{
    window.machine->getData(1000, 2550, 373, 6000, 350, 210, 140, 100, 80);
    window.show();
    settle();
    window.ui->verticalScrollBar->setValue(-100);
    window.ui->verticalScrollBar_2->setValue(0);
    window.ui->pushButton->click();
    window.timer->stop();
    settle();
}

// One tick, timed until its pixels are in the window's backing store.
double timedTick(MainWindow &window)
{
    QElapsedTimer clock;
    clock.start();
    window.drawPlot();
    QCoreApplication::processEvents();
    return milliseconds(clock);
}

Spread measureTicks(MainWindow &window, QCPLayer::LayerMode liveLayerMode, int ticks)
{
    // With a logical live layer, every tick redraws the whole plot.
    window.plot->layer(MainWindow::LiveLayer)->setMode(liveLayerMode);
    window.plot->replot();
    settle();
    std::vector<double> samples;
    for (int i = 0; i < ticks + 200; ++i) {
        if (i % 1000 == 0)
            window.machine->engineSpeed = 1000; // keep the point moving
        const double ms = timedTick(window);
        if (i >= 200)
            samples.push_back(ms);
    }
    return spreadOf(samples);
}

void benchTicks()
{
    MainWindow window;
    startRun(window);
    const int ticks = 3000;
    const Spread layered = measureTicks(window, QCPLayer::lmBuffered, ticks);
    const Spread full = measureTicks(window, QCPLayer::lmLogical, ticks);
    std::printf("tick cost over %d ticks (ms)     median     p99\n", ticks);
    std::printf("  live layer only              %7.3f %7.3f\n", layered.median, layered.p99);
    std::printf("  full redraw                  %7.3f %7.3f\n", full.median, full.p99);
    std::printf("  full / live layer            %7.1f %7.1f\n", full.median / layered.median,
                full.p99 / layered.p99);
}

void benchTickRate()
{
    MainWindow window;
    startRun(window);
    int ticks = 0;
    QObject::connect(window.timer, &QTimer::timeout, [&ticks]() { ++ticks; });
    window.timer->start(10);
    QElapsedTimer clock;
    clock.start();
    QTimer::singleShot(5000, Qt::PreciseTimer, qApp, &QCoreApplication::quit);
    QCoreApplication::exec();
    const double seconds = milliseconds(clock) / 1000;
    std::printf("real run: %d ticks in %.2f s = %.1f ticks/s\n", ticks, seconds, ticks / seconds);
}

// Child process of the start-up measurement: shows one window and says so
// right after its first paint has been delivered.
int showAndReportFirstPaint(const QString &which)
{
    QMainWindow *window = which == "app" ? new MainWindow : new QMainWindow;
    if (which != "app")
        window->setFixedSize(1054, 633);
    if (which == "label") // the first text loads the font configuration
        window->setCentralWidget(new QLabel("Tehopyyntö"));

    struct FirstPaint : QObject
    {
        bool eventFilter(QObject *, QEvent *event) override
        {
            if (event->type() == QEvent::Paint && !seen) {
                seen = true;
                QTimer::singleShot(0, [] {
                    std::puts("painted");
                    std::fflush(stdout);
                    QCoreApplication::exit(0);
                });
            }
            return false;
        }
        bool seen = false;
    } filter;
    window->installEventFilter(&filter);
    window->show();
    const int code = QCoreApplication::exec();
    delete window;
    return code;
}

double medianStartup(const QString &which, int runs)
{
    std::vector<double> samples;
    for (int i = 0; i < runs; ++i) {
        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        QElapsedTimer clock;
        clock.start();
        child.start(QCoreApplication::applicationFilePath(), {"--startup-child", which});
        while (!child.canReadLine() && child.waitForReadyRead(10000)) {
        }
        samples.push_back(milliseconds(clock));
        child.waitForFinished();
    }
    return spreadOf(samples).median;
}

void benchStartup()
{
    const int runs = 15;
    medianStartup("bare", 2); // warm the file cache
    const double bare = medianStartup("bare", runs);
    const double label = medianStartup("label", runs);
    const double app = medianStartup("app", runs);
    std::printf("start-up to first paint, median of %d (ms)\n", runs);
    std::printf("  bare QMainWindow             %7.1f\n", bare);
    std::printf("  bare QMainWindow + one label %7.1f\n", label);
    std::printf("  engine simulator             %7.1f\n", app);
    std::printf("  simulator / bare             %7.2f\n", app / bare);
    std::printf("  simulator / with label       %7.2f\n", app / label);
}

long residentKiB()
{
    QFile statm("/proc/self/statm");
    if (!statm.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? fields[1].toLong() * 4 : -1; // pages of 4 KiB
}

// About 17 minutes of driving as fast as it goes: throttle and load swept up
// and down, Start and Stop every 5,000 ticks.
void soak()
{
    MainWindow window;
    startRun(window);
    const long atStart = residentKiB();
    long after10k = 0;
    const int ticks = 100000;
    QElapsedTimer clock;
    clock.start();
    int graphChecks = 0;
    int graphMismatches = 0;
    const auto expectGraphs = [&](int count) {
        ++graphChecks;
        if (window.plot->graphCount() != count)
            ++graphMismatches;
    };
    for (int i = 1; i <= ticks; ++i) {
        const int phase = i % 200; // a triangle from 0 to 100 and back
        const int level = phase < 100 ? phase : 200 - phase;
        window.ui->verticalScrollBar->setValue(-level);
        window.ui->verticalScrollBar_2->setValue(-(100 - level) / 3);
        window.drawPlot();
        QCoreApplication::processEvents();
        if (i % 5000 == 0) {
            expectGraphs(3);
            window.ui->pushButton_2->click();
            expectGraphs(2);
            if (i < ticks) {
                window.ui->pushButton->click();
                window.timer->stop();
            }
        }
        if (i == 10000)
            after10k = residentKiB();
    }
    const long atEnd = residentKiB();
    std::printf("soak: %d ticks in %.1f s\n", ticks, milliseconds(clock) / 1000);
    std::printf("  resident memory at start      %8ld KiB\n", atStart);
    std::printf("  after 10,000 ticks            %8ld KiB\n", after10k);
    std::printf("  at the end                    %8ld KiB\n", atEnd);
    std::printf("  growth from 10,000 to the end %8ld KiB\n", atEnd - after10k);
    std::printf("  graph count right (3 running, 2 after Stop) at %d of %d checks\n",
                graphChecks - graphMismatches, graphChecks);
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() > 2 && args[1] == "--startup-child")
        return showAndReportFirstPaint(args[2]);
    if (args.contains("--soak")) {
        soak();
        return 0;
    }
    if (args.size() > 2 && args[1] == "--run") {
        MainWindow window;
        startRun(window);
        window.timer->start(10);
        QTimer::singleShot(int(args[2].toDouble() * 1000), qApp, &QCoreApplication::quit);
        return QCoreApplication::exec();
    }
    benchTicks();
    benchTickRate();
    benchStartup();
    return 0;
}
