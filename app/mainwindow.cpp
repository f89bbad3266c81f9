#include "mainwindow.h"

#include "accessibility.h"
#include "machineformath.h"
#include "motorandgearboxoptions.h"
#include "options.h"
#include "settingsmanager.h"
#include "ui_mainwindow.h"

#include <QDebug>
#include <QFileInfo>
#include <QFocusFrame>
#include <QMessageBox>
#include <QPixmap>
#include <QSettings>
#include <QTimer>

#include <cstdlib>
#include <utility>

MainWindow::MainWindow(QWidget *parent) : QMainWindow(parent), ui(new Ui_MainWindow)
{
    Accessibility::install();
    ui->setupUi(this);
    Accessibility::announceMessages(ui->statusBar);
    // The scroll bars take the keyboard focus, but the style draws no sign of
    // it on them: a focus frame follows whichever of them has the focus.
    // The pointers are only compared: focus moves while the window is
    // destroyed too, after its layout object is gone.
    auto *focusFrame = new QFocusFrame(this);
    connect(qApp, &QApplication::focusChanged, focusFrame,
            [focusFrame, throttle = ui->verticalScrollBar,
             load = ui->verticalScrollBar_2](QWidget *, QWidget *now) {
                focusFrame->setWidget(now == throttle || now == load ? now : nullptr);
            });
    version = QStringLiteral(ENGINE_SIMULATOR_VERSION);

    plot = new QCustomPlot();
    plot->setParent(ui->frame);
    plot->resize(ui->frame->width(), ui->frame->height());
    plot->setAccessibleName(tr("Power and torque curves"));
    plot->setAccessibleDescription(
        tr("Engine power in kW on the left axis and torque in N·m on the right axis, against "
           "engine speed in rpm. While the simulation runs, a green point shows the power "
           "delivered at the current engine speed."));
    setUpPlotAxes();

    timer = new QTimer(this);

    QPen powerPen;
    powerPen.setColor(QColor(0, 0, 0, 255));
    powerPen.setWidthF(2.0);
    QPen torquePen;
    torquePen.setColor(QColor(255, 0, 0, 255));
    torquePen.setWidthF(2.0);

    options = new Options(nullptr);
    machine = new MachineForMath(nullptr);
    settingsManager = new SettingsManager(nullptr);
    setUpPlotCurves(powerPen, torquePen);
    readDatabase();

    connect(ui->actionAbout, &QAction::triggered, this, &MainWindow::openAbout);
    connect(ui->actionExit, &QAction::triggered, this, &MainWindow::QuitProgram);
    connect(ui->actionOptions, &QAction::triggered, this, &MainWindow::openOptions);
    connect(ui->pushButton, &QPushButton::clicked, this, &MainWindow::addGraph);
    connect(ui->pushButton_2, &QPushButton::clicked, this, &MainWindow::removeSelectedGraph);
    connect(options, &Options::sendData, this, &MainWindow::writeDatabase);
    connect(options, &Options::triggersignal, this, &MainWindow::WriteMotorAndGearDataBase);
    // The model must hold the new throttle before its readout changes.
    connect(ui->verticalScrollBar, &QScrollBar::valueChanged, this, &MainWindow::throttleChanged);
    connect(ui->verticalScrollBar, &QScrollBar::valueChanged, this,
            &MainWindow::verticalScrollbar_moved);
    connect(ui->verticalScrollBar_2, &QScrollBar::valueChanged, this,
            &MainWindow::verticalScrollbar2_moved);
    connect(timer, &QTimer::timeout, this, &MainWindow::drawPlot);
    connect(plot, &QCustomPlot::selectionChangedByUser, this, &MainWindow::selectionChanged);
    connect(plot, &QCustomPlot::mousePress, this, &MainWindow::mousePress);
    connect(plot, &QCustomPlot::mouseWheel, this, &MainWindow::mouseWheel);
    connect(plotTitle(), &QCPTextElement::doubleClicked, this, &MainWindow::titleDoubleClick);
    connect(plot, &QCustomPlot::axisDoubleClick, this, &MainWindow::axisLabelDoubleClick);
    connect(plot, &QCustomPlot::legendDoubleClick, this, &MainWindow::legendDoubleClick);
    connect(plot, &QCustomPlot::plottableClick, this, &MainWindow::graphClicked);
    plot->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(plot, &QCustomPlot::customContextMenuRequested, this, &MainWindow::contextMenuRequest);
}

MainWindow::~MainWindow()
{
    // Closing the window releases the parentless objects too, so the
    // settings object gets to write anything still pending.
    releaseUnowned();
    delete ui;
}

void MainWindow::releaseUnowned()
{
    delete settingsManager;
    settingsManager = nullptr;
    delete options;
    options = nullptr;
    delete machine;
    machine = nullptr;
}

void MainWindow::QuitProgram()
{
    releaseUnowned();
    std::exit(0);
}

void MainWindow::openOptions()
{
    if (options->exec()) {
        readDatabase();
        qDebug() << "Options accepted";
    } else {
        qDebug() << "Options canceled";
    }
}

void MainWindow::openAbout()
{
    QMessageBox box;
    box.setWindowTitle(QStringLiteral("Information"));
    box.setText(tr("Engine and drive-train simulator: a four-cylinder engine's torque and power "
                   "curves, and a live run with throttle and load.\n"
                   "\n"
                   "Made by the engine simulator developers with Qt and QCustomPlot.\n"
                   "\n"
                   "Version: %1 \n")
                    .arg(version));
    // Only a regular file is read: opening a FIFO of that name would wait
    // for a writer, with the window frozen.
    const QString logo = QStringLiteral("logo.png");
    box.setIconPixmap(QFileInfo(logo).isFile() ? QPixmap(logo) : QPixmap());
    box.exec();
}

// --- Settings: the nine vehicle parameters between file, dialogs and model.

void MainWindow::readDatabase()
{
    inertia = settingsManager->ReadSettings(QStringLiteral("hitausmomentti"));
    const int tireSize = settingsManager->ReadSettings(QStringLiteral("TireSize"));
    const int finalDrive = settingsManager->ReadSettings(QStringLiteral("peravalitys"));
    const int redline = settingsManager->ReadSettings(QStringLiteral("rpmredline"));
    const int gear1 = settingsManager->ReadSettings(QStringLiteral("vaihde1"));
    const int gear2 = settingsManager->ReadSettings(QStringLiteral("vaihde2"));
    const int gear3 = settingsManager->ReadSettings(QStringLiteral("vaihde3"));
    const int gear4 = settingsManager->ReadSettings(QStringLiteral("vaihde4"));
    const int gear5 = settingsManager->ReadSettings(QStringLiteral("vaihde5"));

    options->getData(inertia);
    options->motorDialog->getData(tireSize, finalDrive, redline, gear1, gear2, gear3, gear4, gear5);
    machine->getData(inertia, tireSize, finalDrive, redline, gear1, gear2, gear3, gear4, gear5);
}

void MainWindow::writeDatabase(int arvo, QString kohde)
{
    settingsManager->settings->setValue(kohde, arvo);
    saveSettings({kohde});
}

void MainWindow::WriteMotorAndGearDataBase(int trigger)
{
    Q_UNUSED(trigger)
    // In the file's order; the same keys are then saved.
    const std::pair<const char *, int> values[] = {
        {"TireSize", options->tireSize},  {"peravalitys", options->finalDrive},
        {"rpmredline", options->redline}, {"vaihde1", options->gear1},
        {"vaihde2", options->gear2},      {"vaihde3", options->gear3},
        {"vaihde4", options->gear4},      {"vaihde5", options->gear5}};
    QStringList keys;
    for (const auto &[key, value] : values) {
        keys << QString::fromLatin1(key);
        settingsManager->settings->setValue(keys.last(), value);
    }
    saveSettings(keys);
}

// Writes what was just set through to the file, so that a failure is seen
// now and not lost in a deferred write.
void MainWindow::saveSettings(const QStringList &keys)
{
    const QString failed = tr("Settings could not be saved to settings.ini");
    if (settingsManager->save(keys)) {
        if (ui->statusBar->currentMessage() == failed)
            ui->statusBar->clearMessage(); // no longer true
        return;
    }
    ui->statusBar->clearMessage(); // a failure again is told again
    ui->statusBar->showMessage(failed);
    qWarning().noquote() << "Settings could not be saved to" << settingsManager->fileName();
}

// --- Run loop: Start, Stop, the 10 ms tick and the two scroll bars.

void MainWindow::addGraph()
{
    QCPGraph *live = plot->addGraph(plot->xAxis, plot->yAxis);
    live->setName(QStringLiteral("RealPower"));
    live->setData(machine->liveRpm, machine->livePower);
    live->setLineStyle(QCPGraph::lsLine);
    live->setScatterStyle(QCPScatterStyle::ssCircle);
    QPen livePen;
    livePen.setColor(QColor(0, 255, 0, 255));
    livePen.setWidthF(2.0);
    live->setPen(livePen);
    live->setLayer(LiveLayer);
    plot->layer(LiveLayer)->setMode(QCPLayer::lmBuffered);
    plot->replot();
    timer->start(10);
    ui->pushButton->setEnabled(false);
    // Heard after the focus has moved on from Start, which it leaves.
    Accessibility::announce(this, tr("Simulation started"));
}

void MainWindow::removeSelectedGraph()
{
    plot->removeGraph(2);
    timer->stop();
    ui->pushButton->setEnabled(true);
    plot->replot();
    machine->resetData();
    Accessibility::announce(this,
                            tr("Simulation stopped at %1 rpm, %2 km/h")
                                .arg(ui->lcdNumber_2->shownText(), ui->lcdNumber_3->shownText()));
}

void MainWindow::drawPlot()
{
    machine->DoTheMath(ui->verticalScrollBar_2->value());
    machine->CalculateTheSpeed();
    ui->lcdNumber_2->display(machine->engineSpeed);
    ui->lcdNumber_3->display(machine->roadSpeed);
    // Graph 2 exists whenever the timer runs: Start adds it before starting
    // the timer, and Stop removes it together with stopping the timer.
#ifdef FULL_REDRAW_PER_TICK // the benchmark's reference build
    plot->graph(2)->setData(machine->liveRpm, machine->livePower);
    plot->replot();
#else
    showLivePoint();
#endif
}

void MainWindow::throttleChanged(int throttle)
{
    machine->getPower(throttle);
}

void MainWindow::verticalScrollbar_moved(int arvo)
{
    ui->lcdNumber->display(-arvo);
}

void MainWindow::verticalScrollbar2_moved(int arvo)
{
    ui->lcdNumber_4->display(-arvo);
}
