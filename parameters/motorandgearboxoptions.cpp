#include "motorandgearboxoptions.h"

#include "ui_motorandgearboxoptions.h"

#include <QDebug>

namespace {
// The shown two-decimal value in hundredths, rounded so that 4.10 gives 410
// and not the 409 that truncating 409.99999 would give.
int hundredths(const QDoubleSpinBox *box)
{
    return qRound(box->value() * 100);
}
} // namespace

MotorAndGearBoxOptions::MotorAndGearBoxOptions(QWidget *parent)
    : QDialog(parent), ui(new Ui_MotorAndGearBoxOptions)
{
    ui->setupUi(this);
}

MotorAndGearBoxOptions::~MotorAndGearBoxOptions()
{
    delete ui;
}

void MotorAndGearBoxOptions::on_pushButton_clicked()
{
    tireSize = hundredths(ui->doubleSpinBox);
    finalDrive = hundredths(ui->doubleSpinBox_2);
    redline = qRound(ui->doubleSpinBox_8->value());
    gear1 = hundredths(ui->doubleSpinBox_3);
    gear2 = hundredths(ui->doubleSpinBox_4);
    gear3 = hundredths(ui->doubleSpinBox_5);
    gear4 = hundredths(ui->doubleSpinBox_6);
    gear5 = hundredths(ui->doubleSpinBox_7);
    accept();
}

void MotorAndGearBoxOptions::getData(int arvo1, int arvo2, int arvo3, int arvo4, int arvo5,
                                     int arvo6, int arvo7, int arvo8)
{
    // The spin boxes round to their decimals and clamp to their ranges.
    ui->doubleSpinBox->setValue(arvo1 / 100.0);
    ui->doubleSpinBox_2->setValue(arvo2 / 100.0);
    ui->doubleSpinBox_8->setValue(arvo3);
    ui->doubleSpinBox_3->setValue(arvo4 / 100.0);
    ui->doubleSpinBox_4->setValue(arvo5 / 100.0);
    ui->doubleSpinBox_5->setValue(arvo6 / 100.0);
    ui->doubleSpinBox_6->setValue(arvo7 / 100.0);
    ui->doubleSpinBox_7->setValue(arvo8 / 100.0);
    qDebug() << "jouman";
}
