#ifndef MACHINEFORMATH_H
#define MACHINEFORMATH_H

#include <QObject>
#include <QVector>

// The engine and vehicle model: a fixed four-cylinder engine's torque table
// and power curve, and the step that moves the engine speed under a power
// request and a load. Its members are read directly by the main window.
class MachineForMath : public QObject
{
    Q_OBJECT

public:
    explicit MachineForMath(QObject *parent = nullptr);
    ~MachineForMath() override;

    double engineSpeed = 1000.0;      // rpm
    QVector<double> powerCurve;       // kW at 1000 + i rpm, 4001 entries
    QVector<double> torqueTable;      // N·m at 1000 + k rpm, 4800 entries
    QVector<double> rpmKeys;          // 1000.0 ... 5000.0, keys of both static curves
    QVector<double> liveRpm;          // key of the live operating point
    QVector<double> livePower;        // value of the live operating point
    double curveTorque = 150.0;       // running value of the torque-table generator
    int inertia = 0;                  // kg·m²
    double requestedPower = 0.0;      // kW
    double roadSpeed = 0.0;           // km/h
    double deliveredPower = 0.0;      // kW
    double angularAcceleration = 0.0; // rad/s²
    double netTorque = 0.0;           // N·m
    double netPower = 0.0;            // W
    int cylinders = 4;
    double bore = 103.0;      // mm
    double stroke = 132.0;    // mm
    double sweptVolume = 0.0; // litres
    double availablePower = 0.0;
    double airDensity = 1.2; // kg/m³
    double fuelAirRatio = 0.0382;
    double heatingValue = 42.6;
    double efficiency = 0.4;
    double tireDiameter = 0.0; // inches
    double redline = 0.0;      // rpm
    double finalDrive = 0.0;
    double gearRatios[5] = {0.0, 0.0, 0.0, 0.0, 0.0};

public slots:
    void getData(int arvo0, int arvo1, int arvo2, int arvo3, int arvo4, int arvo5, int arvo6,
                 int arvo7, int arvo8);
    void getPower(int pyynto);
    void DoTheMath(int kuormitus);
    void DoTheCurves();
    void CalculateTheSpeed();
    void resetData();

private slots:
    void AvailablePower();
    void SweptVolume();
};

#endif // MACHINEFORMATH_H
