#include "machineformath.h"

#include <cmath>

namespace {
constexpr double Pi = M_PI;
constexpr double TwoPi = 6.283185307179586;

// One segment of the torque table: how many entries it appends and by how
// much the running torque changes after each of them.
struct TorqueSegment
{
    int entries;
    double step;
};

constexpr TorqueSegment TorqueSegments[] = {
    {1000, +0.05}, // 1000-1999 rpm
    {200, +0.01},  // 2000-2199 rpm
    {400, +0.005}, // 2200-2599 rpm
    {400, -0.002}, // 2600-2999 rpm
    {400, -0.01},  // 3000-3399 rpm
    {800, -0.015}, // 3400-4199 rpm
    {800, -0.012}, // 4200-4999 rpm
    {800, -0.02},  // 5000-5799 rpm
};

constexpr int LowestRpm = 1000;
constexpr int HighestRpm = 5000;
} // namespace

MachineForMath::MachineForMath(QObject *parent) : QObject(parent)
{
    DoTheCurves();
    SweptVolume();
}

MachineForMath::~MachineForMath() = default;

void MachineForMath::getData(int arvo0, int arvo1, int arvo2, int arvo3, int arvo4, int arvo5,
                             int arvo6, int arvo7, int arvo8)
{
    inertia = arvo0;
    tireDiameter = arvo1 / 100.0;
    finalDrive = arvo2 / 100.0;
    redline = arvo3;
    gearRatios[0] = arvo4 / 100.0;
    gearRatios[1] = arvo5 / 100.0;
    gearRatios[2] = arvo6 / 100.0;
    gearRatios[3] = arvo7 / 100.0;
    gearRatios[4] = arvo8 / 100.0;
}

void MachineForMath::getPower(int pyynto)
{
    requestedPower = -pyynto;
}

void MachineForMath::DoTheMath(int kuormitus)
{
    liveRpm.clear();
    livePower.clear();

    int i;
    if (engineSpeed < LowestRpm) {
        engineSpeed = LowestRpm;
        i = 0;
    } else if (engineSpeed > HighestRpm) {
        engineSpeed = HighestRpm;
        i = HighestRpm - LowestRpm;
    } else {
        i = static_cast<int>(engineSpeed) - LowestRpm;
    }

    deliveredPower = powerCurve[i] > requestedPower ? requestedPower : powerCurve[i];
    netPower = (deliveredPower - static_cast<double>(-kuormitus)) * 1000;
    const double omega = engineSpeed * TwoPi / 60;
    netTorque = netPower / omega;
    // An inertia of zero or below (a fresh install, a hand-edited file) has no
    // meaningful acceleration: the engine keeps its speed instead of jumping
    // to infinity.
    angularAcceleration = inertia > 0 ? netTorque / static_cast<double>(inertia) : 0.0;
    engineSpeed = engineSpeed + angularAcceleration * 60 / TwoPi;
    if (engineSpeed < LowestRpm)
        engineSpeed = LowestRpm;

    liveRpm.append(engineSpeed);
    livePower.append(deliveredPower);
}

void MachineForMath::DoTheCurves()
{
    for (const TorqueSegment &segment : TorqueSegments) {
        for (int k = 0; k < segment.entries; ++k) {
            torqueTable.append(curveTorque);
            // Successive additions on purpose: each entry carries the rounding
            // of the ones before it, as the curve has always been computed.
            curveTorque += segment.step;
        }
    }

    for (int n = LowestRpm; n <= HighestRpm; ++n) {
        const double torque = torqueTable[n - LowestRpm];
        powerCurve.append(n * torque / 9549);
        rpmKeys.append(n);
    }
}

void MachineForMath::CalculateTheSpeed()
{
    const double overallRatio = finalDrive * gearRatios[0];
    // Without a final drive or a first gear nothing reaches the wheels; the
    // division would otherwise put NaN or infinity on the readout.
    if (finalDrive == 0.0 || gearRatios[0] == 0.0) {
        roadSpeed = 0.0;
        return;
    }
    roadSpeed = (60 * engineSpeed) * ((0.025357143 * tireDiameter) * Pi / 1000) / overallRatio;
}

void MachineForMath::resetData()
{
    livePower.append(0.0);
    liveRpm.append(0.0);
    engineSpeed = 1000.0;
    deliveredPower = 0.0;
    netPower = 0.0;
    netTorque = 0.0;
    angularAcceleration = 0.0;
}

void MachineForMath::AvailablePower()
{
    const double revolutionsPerSecond = engineSpeed / 60;
    const double heatingValueScaled = heatingValue * 10000;
    availablePower = sweptVolume * 0.001 * 0.5 * airDensity * revolutionsPerSecond * fuelAirRatio
                     * heatingValueScaled * efficiency;
}

void MachineForMath::SweptVolume()
{
    sweptVolume = (bore * bore * Pi * 0.25) * cylinders * stroke / 1000000;
}
