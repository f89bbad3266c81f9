#include "machineformath.h"

#include <QtTest>

#include <cmath>

// Compares a number with a value printed to a given count of decimals.
#define COMPARE_DIGITS(actual, expected, decimals)                                                 \
    QCOMPARE(QString::number((actual), 'f', (decimals)), QStringLiteral(expected))

class TestMachineForMath : public QObject
{
    Q_OBJECT

private:
    // The worked example's vehicle: inertia 1000, tire 25.5", final drive
    // 3.73, first gear 3.50.
    static void loadExampleVehicle(MachineForMath &m)
    {
        m.getData(1000, 2550, 373, 6000, 350, 210, 140, 100, 80);
    }

private slots:
    void staticCurvesHaveTheirSizesAndKeys()
    {
        MachineForMath m;
        QCOMPARE(m.torqueTable.size(), 4800);
        QCOMPARE(m.powerCurve.size(), 4001);
        QCOMPARE(m.rpmKeys.size(), 4001);
        QVERIFY(m.liveRpm.isEmpty());
        QVERIFY(m.livePower.isEmpty());
        for (int i = 0; i < m.rpmKeys.size(); ++i)
            QCOMPARE(m.rpmKeys[i], 1000.0 + i);
    }

    void torqueTableFollowsItsSegments()
    {
        MachineForMath m;
        QCOMPARE(m.torqueTable[0], 150.0);
        QVERIFY(std::abs(m.torqueTable[1000] - 200.0) < 1e-10);
        // Successive additions, not start + k * step: 2000 rpm is not exactly 200.
        QVERIFY(m.torqueTable[1000] != 200.0);
        COMPARE_DIGITS(m.torqueTable[1600], "204.000000", 6);
        COMPARE_DIGITS(m.torqueTable[4000], "177.600000", 6);
        COMPARE_DIGITS(m.torqueTable[4799], "161.620000", 6);
        COMPARE_DIGITS(m.curveTorque, "161.600000", 6);
        const double peak = *std::max_element(m.torqueTable.cbegin(), m.torqueTable.cend());
        QCOMPARE(m.torqueTable.indexOf(peak), 1600);

        // Rebuild the table by hand the same way and compare bit for bit.
        const struct
        {
            int entries;
            double step;
        } segments[] = {{1000, 0.05}, {200, 0.01},   {400, 0.005},  {400, -0.002},
                        {400, -0.01}, {800, -0.015}, {800, -0.012}, {800, -0.02}};
        double torque = 150.0;
        int k = 0;
        for (const auto &segment : segments) {
            for (int n = 0; n < segment.entries; ++n, ++k) {
                QCOMPARE(m.torqueTable[k], torque);
                torque += segment.step;
            }
        }
    }

    void powerCurveUsesThe9549Divisor()
    {
        MachineForMath m;
        COMPARE_DIGITS(m.powerCurve[0], "15.708451", 6);
        COMPARE_DIGITS(m.powerCurve[1000], "41.889203", 6);
        COMPARE_DIGITS(m.powerCurve[2000], "63.839", 3);
        COMPARE_DIGITS(m.powerCurve[3000], "79.6733", 4);
        COMPARE_DIGITS(m.powerCurve[4000], "92.994031", 6);
        for (int i = 1; i < m.powerCurve.size(); ++i)
            QVERIFY(m.powerCurve[i] > m.powerCurve[i - 1]);
    }

    void sweptVolumeAndAvailablePower()
    {
        MachineForMath m;
        COMPARE_DIGITS(m.sweptVolume, "4.399449", 6);
        QCOMPARE(m.availablePower, 0.0);
        QVERIFY(QMetaObject::invokeMethod(&m, "AvailablePower"));
        COMPARE_DIGITS(m.availablePower, "286.3724", 4);
        m.engineSpeed = 5000;
        QVERIFY(QMetaObject::invokeMethod(&m, "AvailablePower"));
        COMPARE_DIGITS(m.availablePower, "1431.862", 3);
    }

    void doTheCurvesAgainAppends()
    {
        MachineForMath m;
        QVERIFY(QMetaObject::invokeMethod(&m, "DoTheCurves"));
        QCOMPARE(m.torqueTable.size(), 9600);
        QCOMPARE(m.torqueTable[4800], 161.6);
        QCOMPARE(m.powerCurve.size(), 8002);
        QCOMPARE(m.rpmKeys.size(), 8002);
        QCOMPARE(m.rpmKeys[4001], 1000.0);
        QCOMPARE(m.powerCurve[4001], m.powerCurve[0]);
    }

    void getDataScalesHundredths()
    {
        MachineForMath m;
        loadExampleVehicle(m);
        QCOMPARE(m.inertia, 1000);
        QCOMPARE(m.tireDiameter, 25.5);
        QCOMPARE(m.finalDrive, 3.73);
        QCOMPARE(m.redline, 6000.0);
        QCOMPARE(m.gearRatios[0], 3.5);
        QCOMPARE(m.gearRatios[4], 0.8);
        m.getData(0, 63, 0, 0, 0, 0, 0, 0, 0);
        QCOMPARE(m.tireDiameter, 0.63);
    }

    void workedExampleTick()
    {
        MachineForMath m;
        loadExampleVehicle(m);
        m.getPower(-60);
        QCOMPARE(m.requestedPower, 60.0);
        m.engineSpeed = 2000.0;
        m.DoTheMath(-20);
        COMPARE_DIGITS(m.deliveredPower, "41.889203", 6);
        COMPARE_DIGITS(m.netPower, "21889.203", 3);
        COMPARE_DIGITS(m.netTorque, "104.513246", 6);
        COMPARE_DIGITS(m.angularAcceleration, "0.104513", 6);
        COMPARE_DIGITS(m.engineSpeed, "2000.998028", 6);
        QCOMPARE(m.liveRpm, QVector<double>{m.engineSpeed});
        QCOMPARE(m.livePower, QVector<double>{m.deliveredPower});
        m.CalculateTheSpeed();
        COMPARE_DIGITS(m.roadSpeed, "18.681486", 6);

        // A request below the curve is delivered as asked.
        m.getPower(-30);
        m.engineSpeed = 2000.0;
        m.DoTheMath(-20);
        QCOMPARE(m.deliveredPower, 30.0);
        COMPARE_DIGITS(m.netPower, "10000.000", 3);
        COMPARE_DIGITS(m.netTorque, "47.746483", 6);
        COMPARE_DIGITS(m.angularAcceleration, "0.047746", 6);
        COMPARE_DIGITS(m.engineSpeed, "2000.455945", 6);
    }

    void stepEdgeCases()
    {
        MachineForMath m;
        loadExampleVehicle(m);

        // Untouched throttle, load 20: the speed falls below idle and is raised.
        m.DoTheMath(-20);
        QCOMPARE(m.deliveredPower, 0.0);
        COMPARE_DIGITS(m.netPower, "-20000.000", 3);
        COMPARE_DIGITS(m.netTorque, "-190.985932", 6);
        COMPARE_DIGITS(m.angularAcceleration, "-0.190986", 6);
        QCOMPARE(m.liveRpm, QVector<double>{1000.0});
        QCOMPARE(m.livePower, QVector<double>{0.0});

        // Full throttle, no load, above the top of the curve.
        m.getPower(-100);
        m.engineSpeed = 5200;
        m.DoTheMath(0);
        COMPARE_DIGITS(m.deliveredPower, "92.994031", 6);
        COMPARE_DIGITS(m.netTorque, "177.605516", 6);
        COMPARE_DIGITS(m.engineSpeed, "5001.696008", 6);
        m.DoTheMath(0);
        COMPARE_DIGITS(m.engineSpeed, "5001.696008", 6);

        // From idle with a high request: the divisors 9549 and 60/2pi differ.
        m.engineSpeed = 1000;
        m.DoTheMath(0);
        COMPARE_DIGITS(m.netTorque, "150.004659", 6);
        COMPARE_DIGITS(m.engineSpeed, "1001.432439", 6);
    }

    void curveIndexTruncates()
    {
        MachineForMath m;
        loadExampleVehicle(m);
        m.getPower(-100);
        m.engineSpeed = 999.5;
        m.DoTheMath(-100);
        QCOMPARE(m.deliveredPower, m.powerCurve[0]);
        m.engineSpeed = 1500.9;
        m.DoTheMath(0);
        QCOMPARE(m.deliveredPower, m.powerCurve[500]);

        // A request equal to the curve delivers that same number.
        m.requestedPower = m.powerCurve[500];
        m.engineSpeed = 1500.0;
        m.DoTheMath(0);
        QCOMPARE(m.deliveredPower, m.powerCurve[500]);
    }

    void resetAppendsZeroesAndReturnsToIdle()
    {
        MachineForMath m;
        loadExampleVehicle(m);
        m.getPower(-50);
        m.engineSpeed = 3000;
        m.DoTheMath(-10);
        const double lastRpm = m.liveRpm.first();
        const double lastPower = m.livePower.first();
        m.resetData();
        QCOMPARE(m.liveRpm, QVector<double>({lastRpm, 0.0}));
        QCOMPARE(m.livePower, QVector<double>({lastPower, 0.0}));
        QCOMPARE(m.engineSpeed, 1000.0);
        QCOMPARE(m.deliveredPower, 0.0);
        QCOMPARE(m.netPower, 0.0);
        QCOMPARE(m.netTorque, 0.0);
        QCOMPARE(m.angularAcceleration, 0.0);
        QCOMPARE(m.requestedPower, 50.0);
        m.DoTheMath(0);
        QCOMPARE(m.liveRpm.size(), 1);
        QCOMPARE(m.livePower.size(), 1);
    }

    void roadSpeed()
    {
        MachineForMath m;
        m.getData(1000, 2500, 400, 0, 300, 0, 0, 0, 0);
        m.CalculateTheSpeed();
        COMPARE_DIGITS(m.roadSpeed, "9.957727", 6);
    }

    void zeroInertiaKeepsTheSpeed()
    {
        for (int inertia : {0, -500}) {
            MachineForMath m;
            m.getData(inertia, 2550, 373, 0, 350, 0, 0, 0, 0);
            m.getPower(-100);
            m.engineSpeed = 3000.5;
            m.DoTheMath(0);
            QCOMPARE(m.engineSpeed, 3000.5);
            QCOMPARE(m.angularAcceleration, 0.0);
            QCOMPARE(m.liveRpm, QVector<double>{3000.5});
            QCOMPARE(m.livePower.size(), 1);
            // The step's bounds still apply.
            m.engineSpeed = 7000;
            m.DoTheMath(-100);
            QCOMPARE(m.engineSpeed, 5000.0);
            QVERIFY(std::isfinite(m.netTorque));
        }
    }

    void zeroDriveRatioGivesNoRoadSpeed()
    {
        MachineForMath m;
        m.CalculateTheSpeed(); // every parameter 0, as on a fresh install
        QCOMPARE(m.roadSpeed, 0.0);
        m.getData(1000, 2550, 373, 0, 0, 0, 0, 0, 0);
        m.CalculateTheSpeed();
        QCOMPARE(m.roadSpeed, 0.0);
        m.getData(1000, 2550, 0, 0, 350, 0, 0, 0, 0);
        m.CalculateTheSpeed();
        QCOMPARE(m.roadSpeed, 0.0);
    }
};

QTEST_GUILESS_MAIN(TestMachineForMath)
#include "tst_machineformath.moc"
