#ifndef OPTIONS_H
#define OPTIONS_H

#include <QDialog>
#include <QString>

class MotorAndGearBoxOptions;
class Ui_Options;

// Edits the engine's moment of inertia and opens the motor and gearbox
// dialog. Edited values leave through the two signals; the main window
// stores them.
class Options : public QDialog
{
    Q_OBJECT

public:
    explicit Options(QWidget *parent = nullptr);
    ~Options() override;

    MotorAndGearBoxOptions *motorDialog;
    int inertia = 0;
    // Copies of the motor and gearbox dialog's values, taken on its Apply.
    int tireSize = 0;
    int redline = 0;
    int finalDrive = 0;
    int gear1 = 0;
    int gear2 = 0;
    int gear3 = 0;
    int gear4 = 0;
    int gear5 = 0;
    Ui_Options *ui;

signals:
    void sendData(int, QString);
    void triggersignal(int);

public slots:
    void getData(int arvo1);

private slots:
    void on_pushButton_clicked();
    void on_pushButton_2_clicked();
    void on_pushButton_3_clicked();
};

#endif // OPTIONS_H
