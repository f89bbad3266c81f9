#ifndef MAINWINDOW_H
#define MAINWINDOW_H

#include <QMainWindow>
#include <QString>

#include <qcustomplot.h>

class MachineForMath;
class Options;
class SettingsManager;
class QTimer;
class Ui_MainWindow;

// The program's window: readouts, the curve plot, the throttle and load
// scroll bars, Start and Stop. It owns the run loop and connects the plot,
// the parameter dialogs, the settings file and the engine model.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    QCustomPlot *plot = nullptr;
    Options *options = nullptr;
    SettingsManager *settingsManager = nullptr;
    MachineForMath *machine = nullptr;
    int inertia = 0;
    QString version;
    QTimer *timer = nullptr;
    Ui_MainWindow *ui;

    // Name of the plot layer that holds only the live graph, so that a tick
    // repaints that layer alone instead of both 4001-point curves.
    static const QString LiveLayer;

public slots:
    void QuitProgram();
    void openOptions();
    void openAbout();
    void readDatabase();
    void writeDatabase(int arvo, QString kohde);
    void drawPlot();
    void throttleChanged(int throttle);
    void WriteMotorAndGearDataBase(int trigger);
    void titleDoubleClick();
    void axisLabelDoubleClick(QCPAxis *axis, QCPAxis::SelectablePart part);
    void legendDoubleClick(QCPLegend *legend, QCPAbstractLegendItem *item);
    void selectionChanged();
    void mousePress();
    void mouseWheel();
    void addGraph();
    void removeSelectedGraph();
    void contextMenuRequest(QPoint pos);
    void moveLegend();
    void graphClicked(QCPAbstractPlottable *plottable);

private slots:
    void verticalScrollbar_moved(int arvo);
    void verticalScrollbar2_moved(int arvo);

private:
    QCPTextElement *plotTitle() const;
    static QRect paintedArea(const QCPGraph *graph);
    void showLivePoint();
    void setUpPlotAxes();
    void setUpPlotCurves(const QPen &powerPen, const QPen &torquePen);
    void saveSettings(const QStringList &keys);
    void releaseUnowned();
};

#endif // MAINWINDOW_H
