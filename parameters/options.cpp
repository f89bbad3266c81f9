#include "options.h"

#include "motorandgearboxoptions.h"
#include "ui_options.h"

#include <QDebug>

Options::Options(QWidget *parent) : QDialog(parent), ui(new Ui_Options)
{
    ui->setupUi(this);
    motorDialog = new MotorAndGearBoxOptions(nullptr);
}

Options::~Options()
{
    delete motorDialog;
    delete ui;
}

void Options::getData(int arvo1)
{
    ui->Hitaus_spinBox->setValue(arvo1);
}

// "Ok": store the inertia, then close accepted.
void Options::on_pushButton_clicked()
{
    inertia = ui->Hitaus_spinBox->value();
    qDebug() << "Options - taulukko" << inertia;
    emit sendData(inertia, QStringLiteral("hitausmomentti"));
    accept();
}

// "Cancel"
void Options::on_pushButton_2_clicked()
{
    close();
}

// "Motor and Gears": run the motor and gearbox dialog; on Apply take its
// values and have them stored.
void Options::on_pushButton_3_clicked()
{
    if (motorDialog->exec() == QDialog::Accepted) {
        tireSize = motorDialog->tireSize;
        finalDrive = motorDialog->finalDrive;
        redline = motorDialog->redline;
        gear1 = motorDialog->gear1;
        gear2 = motorDialog->gear2;
        gear3 = motorDialog->gear3;
        gear4 = motorDialog->gear4;
        gear5 = motorDialog->gear5;
        emit triggersignal(1);
    } else {
        qDebug() << "Tietoja ei tallennettu";
    }
}
