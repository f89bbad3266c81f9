#ifndef MOTORANDGEARBOXOPTIONS_H
#define MOTORANDGEARBOXOPTIONS_H

#include <QDialog>

class Ui_MotorAndGearBoxOptions;

// Edits the tire diameter, final drive, redline and the five gear ratios.
// The spin boxes show the real values; the members hold them as the settings
// file stores them: ratios and tire diameter in hundredths, redline in rpm.
class MotorAndGearBoxOptions : public QDialog
{
    Q_OBJECT

public:
    explicit MotorAndGearBoxOptions(QWidget *parent = nullptr);
    ~MotorAndGearBoxOptions() override;

    int tireSize = 0;
    int redline = 0;
    int finalDrive = 0;
    int gear1 = 0;
    int gear2 = 0;
    int gear3 = 0;
    int gear4 = 0;
    int gear5 = 0;
    Ui_MotorAndGearBoxOptions *ui;

private slots:
    void on_pushButton_clicked();

public slots:
    void getData(int arvo1, int arvo2, int arvo3, int arvo4, int arvo5, int arvo6, int arvo7,
                 int arvo8);
};

#endif // MOTORANDGEARBOXOPTIONS_H
