#include "inidocument.h"
#include "machineformath.h"
#include "mainwindow.h"
#include "motorandgearboxoptions.h"
#include "options.h"
#include "settingsmanager.h"
#include "settingsoracle.h"
#include "testsupport.h"
#include "ui_mainwindow.h"
#include "ui_motorandgearboxoptions.h"
#include "ui_options.h"

#include <QDoubleSpinBox>
#include <QPointer>
#include <QRandomGenerator>
#include <QRect>
#include <QSettings>
#include <QSpinBox>

#include <memory>

#include <sys/stat.h>
#include <unistd.h>

namespace {

const QByteArray ExampleVehicle = "[General]\n"
                                  "hitausmomentti=1000\nTireSize=2550\nperavalitys=373\n"
                                  "rpmredline=6000\nvaihde1=350\nvaihde2=210\nvaihde3=140\n"
                                  "vaihde4=100\nvaihde5=80\n";
const QStringList MotorKeys = {"TireSize", "peravalitys", "rpmredline", "vaihde1",
                               "vaihde2",  "vaihde3",     "vaihde4",    "vaihde5"};

// Reads "key=value" lines of an INI file without the settings library, so
// the file is checked as another program would see it.
QMap<QString, QString> iniValues(const QByteArray &text)
{
    QMap<QString, QString> values;
    QString section;
    for (const QByteArray &raw : text.split('\n')) {
        const QString line = QString::fromUtf8(raw).trimmed();
        if (line.startsWith('['))
            section = line.mid(1, line.size() - 2);
        else if (line.contains('='))
            values[(section == "General" ? QString() : section + '/') + line.section('=', 0, 0)] =
                line.section('=', 1);
    }
    return values;
}

// The nine parameters the model holds, as the integers they were handed over.
QList<int> modelParameters(const MachineForMath *m)
{
    QList<int> values = {m->inertia, qRound(m->tireDiameter * 100), qRound(m->finalDrive * 100),
                         qRound(m->redline)};
    for (double ratio : m->gearRatios)
        values << qRound(ratio * 100);
    return values;
}

QList<double> shownMotorValues(const MotorAndGearBoxOptions *dialog)
{
    const Ui_MotorAndGearBoxOptions *ui = dialog->ui;
    QList<double> shown;
    for (const QDoubleSpinBox *box :
         {ui->doubleSpinBox, ui->doubleSpinBox_2, ui->doubleSpinBox_8, ui->doubleSpinBox_3,
          ui->doubleSpinBox_4, ui->doubleSpinBox_5, ui->doubleSpinBox_6, ui->doubleSpinBox_7})
        shown << box->value();
    return shown;
}

QStringList debugLines()
{
    QStringList lines;
    for (const QString &line : MessageLog::lines())
        if (line.startsWith("debug: "))
            lines << line.mid(7);
    return lines;
}

// Opens File → Options and lets `inside` work on the running dialog.
void runOptions(MainWindow &window, std::function<void(Options *)> inside)
{
    whenModal<Options>(inside);
    window.ui->actionOptions->trigger();
}

// From inside the Options dialog: runs "Motor and Gears" and lets `inside`
// work on the motor and gearbox dialog.
void runMotorDialog(Options *options, std::function<void(MotorAndGearBoxOptions *)> inside)
{
    whenModal<MotorAndGearBoxOptions>(inside);
    options->ui->pushButton_3->click();
}

void setShown(MotorAndGearBoxOptions *dialog, double tire, double finalDrive, double redline,
              double gear1)
{
    dialog->ui->doubleSpinBox->setValue(tire);
    dialog->ui->doubleSpinBox_2->setValue(finalDrive);
    dialog->ui->doubleSpinBox_8->setValue(redline);
    dialog->ui->doubleSpinBox_3->setValue(gear1);
}

// Another process takes the settings class's lock file and keeps it.
void holdLock(QProcess &holder, const QString &lockFile)
{
    holder.start("flock", {"--nonblock", "--close", lockFile, "sleep", "60"});
    QVERIFY(holder.waitForStarted());
    QTRY_VERIFY(QFile::exists(lockFile));
}

bool runningAsRoot()
{
    return geteuid() == 0;
}

// Makes a file and its folder unwritable: for root, which writes through
// permission bits, by the file system's immutable flag.
bool makeUnwritable(const QString &file, bool on)
{
    if (runningAsRoot())
        return QProcess::execute("chattr", {on ? "+i" : "-i", file}) == 0;
    const QString folder = QFileInfo(file).path();
    const QFile::Permissions readOnly = QFile::ReadOwner | QFile::ExeOwner;
    return QFile::setPermissions(folder, on ? readOnly : readOnly | QFile::WriteOwner)
           && QFile::setPermissions(file,
                                    on ? QFile::ReadOwner : QFile::ReadOwner | QFile::WriteOwner);
}

// Root writes through any permission bits, so the read-only cases run in a
// child copy of this test that has dropped to the unprivileged "nobody".
// Returns true when the case was run (and checked) in that child.
bool ranInUnprivilegedChild(const char *testFunction)
{
    if (!runningAsRoot())
        return false;
    QProcess child;
    child.setProcessChannelMode(QProcess::MergedChannels);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("XDG_RUNTIME_DIR")); // root's would not be nobody's
    child.setProcessEnvironment(env);
    child.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("--unprivileged"), QString::fromLatin1(testFunction)});
    if (!child.waitForFinished(60000))
        qFatal("the unprivileged child did not finish");
    const QByteArray output = child.readAll();
    if (child.exitCode() == 77)
        QTest::qSkip("cannot drop root privileges here", __FILE__, __LINE__);
    else if (child.exitCode() != 0)
        QTest::qFail(output.constData(), __FILE__, __LINE__);
    return true;
}

// Whether the settings class reads `after` as `before` with
// hitausmomentti 4321 and TireSize 1234 saved.
bool readsAsSaved(const QByteArray &before, const QByteArray &after)
{
    const auto reader = oracle(after);
    return reader->value("hitausmomentti").toString() == "4321"
           && reader->value("TireSize").toString() == "1234"
           && sameReading(oracleValues(*reader, {"hitausmomentti", "TireSize"}),
                          oracleValues(*oracle(before), {"hitausmomentti", "TireSize"}));
}

// A save of those two values, one the file may lack, through the settings
// store: either the settings class reads both as saved and every other key
// as before, or the save fails and the file stays as it was.
void checkSaveReadsBack(const WorkingDirectory &dir, const QByteArray &contents)
{
    const QString seed = QString::fromLatin1(contents.toPercentEncoding());
    SettingsManager store;
    store.settings->setValue("hitausmomentti", 4321);
    store.settings->setValue("TireSize", 1234);
    const bool saved = store.save({"hitausmomentti", "TireSize"});
    const QByteArray after = dir.read("settings.ini");
    QVERIFY2(saved ? readsAsSaved(contents, after) : after == contents, qPrintable(seed));
}

// A file the settings class writes itself, with the kinds of values other
// programs keep.
QByteArray writtenBySettingsClass()
{
    const QString name = QDir::temp().filePath(
        QStringLiteral("written-%1.ini").arg(QCoreApplication::applicationPid()));
    {
        QSettings settings(name, QSettings::IniFormat);
        settings.setValue("hitausmomentti", 1000);
        settings.setValue("TireSize", 2550);
        settings.setValue("pipe", "5\" pipe; steel");
        settings.setValue("list", QStringList({"a, b", "c;d", "e\\f"}));
        settings.setValue("address", "write to me@host(home)");
        settings.setValue("bytes", QByteArray("\0\x01=;", 4));
        settings.setValue("Tire Size", "  padded  ");
        settings.setValue(QString::fromUtf8("Äänenvoimakkuus"), "täysi");
        settings.setValue("Other Group/key", 7);
        settings.setValue("Outer/Inner/key", QRect(1, 2, 3, 4));
        for (int gear = 1; gear <= 5; ++gear)
            settings.setValue(QStringLiteral("vaihde%1").arg(gear), gear * 100);
        settings.setValue("rpmredline", 6000);
        settings.setValue("peravalitys", 373);
    }
    QFile file(name);
    QByteArray text = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    QFile::remove(name);
    return text;
}

const QStringList ParameterKeys = QStringList({"hitausmomentti"}) + MotorKeys;
} // namespace

class TestParameters : public QObject
{
    Q_OBJECT

private slots:
    void motorDialogShowsClampedValuesAndAppliesHundredths()
    {
        MotorAndGearBoxOptions dialog;
        MessageLog log;
        dialog.getData(12000, 373, 25000, -5, 345, 0, 410, 3);
        QCOMPARE(debugLines(), QStringList({"jouman"}));
        QCOMPARE(shownMotorValues(&dialog),
                 QList<double>({99.99, 3.73, 20000, 0, 3.45, 0, 4.10, 0.03}));

        QMetaObject::invokeMethod(&dialog, "on_pushButton_clicked");
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(QList<int>({dialog.tireSize, dialog.finalDrive, dialog.redline, dialog.gear1,
                             dialog.gear2, dialog.gear3, dialog.gear4, dialog.gear5}),
                 QList<int>({9999, 373, 20000, 0, 345, 0, 410, 3}));
    }

    // Every two-decimal value a box can show comes back as the same integer.
    void everyShownRatioAppliesBackUnchanged()
    {
        MotorAndGearBoxOptions dialog;
        MessageLog quiet;
        for (int hundredths = 0; hundredths <= 9999; ++hundredths) {
            dialog.getData(hundredths, hundredths, hundredths * 2, hundredths, hundredths,
                           hundredths, hundredths, hundredths);
            for (int again = 0; again < 2; ++again) {
                QMetaObject::invokeMethod(&dialog, "on_pushButton_clicked");
                if (dialog.tireSize != hundredths || dialog.gear5 != hundredths
                    || dialog.redline != hundredths * 2)
                    QFAIL(qPrintable(
                        QStringLiteral("%1 came back as %2").arg(hundredths).arg(dialog.tireSize)));
            }
        }
    }

    void okWithoutChangesStoresTheInertiaAndReloads()
    {
        WorkingDirectory dir;
        dir.write("settings.ini", ExampleVehicle);
        MainWindow window;
        QCOMPARE(modelParameters(window.machine),
                 QList<int>({1000, 2550, 373, 6000, 350, 210, 140, 100, 80}));
        QCOMPARE(window.options->ui->Hitaus_spinBox->value(), 1000);
        QCOMPARE(shownMotorValues(window.options->motorDialog),
                 QList<double>({25.5, 3.73, 6000, 3.5, 2.1, 1.4, 1.0, 0.8}));

        // The model's inertia is changed behind the file's back: Ok must reload it.
        window.machine->inertia = 5;
        MessageLog log;
        runOptions(window, [](Options *options) { options->ui->pushButton->click(); });
        QCOMPARE(debugLines(),
                 QStringList({"Options - taulukko 1000", "jouman", "Options accepted"}));
        QCOMPARE(log.lines().size(), 3); // nothing else reached the console
        QCOMPARE(window.machine->inertia, 1000);
        QCOMPARE(iniValues(dir.read("settings.ini")).value("hitausmomentti"),
                 QStringLiteral("1000"));
    }

    void motorValuesReachTheModelOnlyWhenOptionsCloseWithOk()
    {
        WorkingDirectory dir;
        dir.write("settings.ini", ExampleVehicle);
        MainWindow window;
        MessageLog log;
        runOptions(window, [](Options *options) {
            options->ui->Hitaus_spinBox->setValue(4000);
            runMotorDialog(options, [](MotorAndGearBoxOptions *motor) {
                setShown(motor, 17.0, 4.10, 5500, 3.45);
                motor->ui->pushButton->click();
            });
            QCOMPARE(options->tireSize, 1700);
            options->ui->pushButton_2->click(); // Cancel
        });
        QCOMPARE(debugLines(), QStringList({"Options canceled"}));
        const QMap<QString, QString> stored = iniValues(dir.read("settings.ini"));
        QCOMPARE(stored.value("TireSize"), QStringLiteral("1700"));
        QCOMPARE(stored.value("peravalitys"), QStringLiteral("410"));
        QCOMPARE(stored.value("rpmredline"), QStringLiteral("5500"));
        QCOMPARE(stored.value("vaihde1"), QStringLiteral("345"));
        QCOMPARE(stored.value("vaihde2"), QStringLiteral("210"));
        QCOMPARE(stored.value("hitausmomentti"),
                 QStringLiteral("1000")); // Cancel stored no inertia
        QCOMPARE(modelParameters(window.machine),
                 QList<int>({1000, 2550, 373, 6000, 350, 210, 140, 100, 80}));

        // The next Ok brings everything to the model; the spin box kept the unsaved 4000.
        runOptions(window, [](Options *options) {
            QCOMPARE(options->ui->Hitaus_spinBox->value(), 4000);
            options->ui->pushButton->click();
        });
        QCOMPARE(modelParameters(window.machine),
                 QList<int>({4000, 1700, 410, 5500, 345, 210, 140, 100, 80}));
        QCOMPARE(shownMotorValues(window.options->motorDialog)[4], 2.1);
        QCOMPARE(shownMotorValues(window.options->motorDialog)[3], 3.45);
    }

    void closingTheMotorDialogWithoutApplyStoresNothing()
    {
        WorkingDirectory dir;
        dir.write("settings.ini", ExampleVehicle);
        MainWindow window;
        MessageLog log;
        runOptions(window, [](Options *options) {
            runMotorDialog(options, [](MotorAndGearBoxOptions *motor) {
                setShown(motor, 30.0, 5.0, 7000, 4.0);
                motor->reject(); // the window's close button and Escape do this
            });
            QCOMPARE(options->tireSize, 0);
            QVERIFY(options->isVisible()); // the Options dialog stays open
            options->ui->pushButton_2->click();
        });
        QCOMPARE(debugLines(), QStringList({"Tietoja ei tallennettu", "Options canceled"}));
        QCOMPARE(dir.read("settings.ini"), ExampleVehicle);
        // The unsaved edits stay in the boxes for the next opening.
        QCOMPARE(shownMotorValues(window.options->motorDialog)[0], 30.0);
    }

    void storedValuesOutsideTheRangesAreClampedWhenShown()
    {
        WorkingDirectory dir;
        dir.write("settings.ini", "[General]\nhitausmomentti=250000\nTireSize=12000\n"
                                  "rpmredline=25000\nvaihde1=-5\nvaihde2=345\n");
        MainWindow window;
        QCOMPARE(modelParameters(window.machine),
                 QList<int>({250000, 12000, 0, 25000, -5, 345, 0, 0, 0}));
        QCOMPARE(window.options->ui->Hitaus_spinBox->value(), 100000);
        QCOMPARE(shownMotorValues(window.options->motorDialog),
                 QList<double>({99.99, 0, 20000, 0, 3.45, 0, 0, 0}));

        runOptions(window, [](Options *options) {
            runMotorDialog(options,
                           [](MotorAndGearBoxOptions *motor) { motor->ui->pushButton->click(); });
            options->ui->pushButton->click();
        });
        const QMap<QString, QString> stored = iniValues(dir.read("settings.ini"));
        QCOMPARE(stored.value("hitausmomentti"), QStringLiteral("100000"));
        QCOMPARE(stored.value("TireSize"), QStringLiteral("9999"));
        QCOMPARE(stored.value("rpmredline"), QStringLiteral("20000"));
        QCOMPARE(stored.value("vaihde1"), QStringLiteral("0"));
        QCOMPARE(stored.value("vaihde2"), QStringLiteral("345"));
        QCOMPARE(modelParameters(window.machine),
                 QList<int>({100000, 9999, 0, 20000, 0, 345, 0, 0, 0}));
    }

    void valuesSurviveARestartAndClosingReleasesTheParameterObjects()
    {
        WorkingDirectory dir;
        auto *window = new MainWindow;
        QCOMPARE(modelParameters(window->machine), QList<int>(9, 0)); // no file: all zeros
        runOptions(*window, [](Options *options) {
            options->ui->Hitaus_spinBox->setValue(1500);
            runMotorDialog(options, [](MotorAndGearBoxOptions *motor) {
                setShown(motor, 25.5, 3.73, 6000, 3.5);
                motor->ui->pushButton->click();
            });
            options->ui->pushButton->click();
        });
        QPointer<Options> options = window->options;
        QPointer<MachineForMath> machine = window->machine;
        QPointer<SettingsManager> store = window->settingsManager;
        delete window;
        QVERIFY(options.isNull() && machine.isNull() && store.isNull());

        MainWindow restarted;
        QCOMPARE(modelParameters(restarted.machine),
                 QList<int>({1500, 2550, 373, 6000, 350, 0, 0, 0, 0}));
        QCOMPARE(iniValues(dir.read("settings.ini")).keys(),
                 QStringList({"TireSize", "hitausmomentti", "peravalitys", "rpmredline", "vaihde1",
                              "vaihde2", "vaihde3", "vaihde4", "vaihde5"}));
    }

    void badFileContents_data()
    {
        QTest::addColumn<QByteArray>("contents");
        QTest::addColumn<QList<int>>("model");
        QTest::newRow("empty") << QByteArray() << QList<int>(9, 0);
        QTest::newRow("letters and decimals")
            << QByteArray("[General]\nhitausmomentti=abc\nTireSize=12.5\nperavalitys=3,73\n"
                          "rpmredline=0x10\nvaihde1=350\n")
            << QList<int>({0, 0, 0, 0, 350, 0, 0, 0, 0});
        QTest::newRow("blanks") << QByteArray(
            "[General]\nhitausmomentti = 1200 \nTireSize=25 50\nperavalitys=\n")
                                << QList<int>({1200, 0, 0, 0, 0, 0, 0, 0, 0});
        QTest::newRow("beyond 32 bits")
            << QByteArray("[General]\nhitausmomentti=99999999999\nTireSize=2147483648\n"
                          "rpmredline=2147483647\nvaihde1=-2147483649\n")
            << QList<int>({0, 0, 0, 2147483647, 0, 0, 0, 0, 0});
        QTest::newRow("negative") << QByteArray("[General]\nhitausmomentti=-1000\nvaihde1=-5\n")
                                  << QList<int>({-1000, 0, 0, 0, -5, 0, 0, 0, 0});
        QTest::newRow("another section")
            << QByteArray("[Vehicle]\nhitausmomentti=1000\nTireSize=2550\n") << QList<int>(9, 0);
    }

    // Whatever the file holds, the window opens, shows what it can and runs.
    void badFileContents()
    {
        QFETCH(QByteArray, contents);
        QFETCH(QList<int>, model);
        WorkingDirectory dir;
        dir.write("settings.ini", contents);
        MessageLog log;
        MainWindow window;
        QCOMPARE(modelParameters(window.machine), model);
        for (double shown : shownMotorValues(window.options->motorDialog))
            QVERIFY(shown >= 0 && shown <= 20000);
        window.ui->pushButton->click();
        window.drawPlot();
        QVERIFY(std::isfinite(window.machine->engineSpeed));
        QVERIFY(std::isfinite(window.machine->roadSpeed));
        window.ui->pushButton_2->click();
        QCOMPARE(log.lines(), QStringList({"debug: jouman"}));
    }

    void directoryNamedLikeTheSettingsFile()
    {
        WorkingDirectory dir;
        QVERIFY(QDir(dir.path()).mkdir("settings.ini"));
        MessageLog log;
        MainWindow window;
        QCOMPARE(modelParameters(window.machine), QList<int>(9, 0));
        runOptions(window, [](Options *options) {
            options->ui->Hitaus_spinBox->setValue(3000);
            options->ui->pushButton->click();
        });
        QCOMPARE(window.statusBar()->currentMessage(),
                 QStringLiteral("Settings could not be saved to settings.ini"));
        QCOMPARE(window.machine->inertia, 3000); // still in use for this run
        QVERIFY(QFileInfo(dir.path("settings.ini")).isDir());
        QCOMPARE(log.lines()
                     .filter(QRegularExpression(
                         "^warning: Settings could not be saved to .*settings.ini$"))
                     .size(),
                 1);

        // Once the directory is gone, the next save writes every value in use.
        QVERIFY(QDir(dir.path()).rmdir("settings.ini"));
        window.writeDatabase(3100, "hitausmomentti");
        QCOMPARE(window.statusBar()->currentMessage(), QString());
        QCOMPARE(iniValues(dir.read("settings.ini")).value("hitausmomentti"),
                 QStringLiteral("3100"));
    }

    void readOnlyFile()
    {
        if (ranInUnprivilegedChild("readOnlyFile"))
            return;
        WorkingDirectory dir;
        dir.write("settings.ini", ExampleVehicle);
        QVERIFY(
            QFile::setPermissions(dir.path("settings.ini"), QFile::ReadOwner | QFile::ReadOther));
        checkUnwritableSettings(dir);
    }

    void readOnlyWorkingDirectory()
    {
        if (ranInUnprivilegedChild("readOnlyWorkingDirectory"))
            return;
        WorkingDirectory dir;
        dir.write("settings.ini", ExampleVehicle);
        QVERIFY(QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::ExeOwner));
        checkUnwritableSettings(dir);
        QVERIFY(QFile::setPermissions(dir.path(),
                                      QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    }

    // Each way a save can fail leaves the file byte for byte as it was, says
    // so, and never holds the window for more than about a second.
    void failedSavesLeaveTheFileAsItWas_data()
    {
        QTest::addColumn<QByteArray>("contents");
        QTest::addColumn<QString>("obstacle");
        QTest::newRow("live lock") << ExampleVehicle << "lock held by another process";
        QTest::newRow("lock is a directory")
            << ExampleVehicle << "settings.ini.lock is a directory";
        QTest::newRow("lock is a FIFO") << ExampleVehicle << "settings.ini.lock is a FIFO";
        QTest::newRow("immutable file") << ExampleVehicle << "immutable after a save";
        QTest::newRow("FIFO") << QByteArray() << "settings.ini is a FIFO";
    }

    void failedSavesLeaveTheFileAsItWas()
    {
        QFETCH(QByteArray, contents);
        QFETCH(QString, obstacle);
        WorkingDirectory dir;
        QProcess holder;
        if (obstacle == "settings.ini is a FIFO")
            QVERIFY(mkfifo(qPrintable(dir.path("settings.ini")), 0644) == 0);
        else
            dir.write("settings.ini", contents);
        MainWindow window;
        QCOMPARE(window.machine->inertia, contents.isEmpty() ? 0 : 1000);
        if (obstacle == "settings.ini.lock is a directory")
            QVERIFY(QDir(dir.path()).mkdir("settings.ini.lock"));
        if (obstacle == "settings.ini.lock is a FIFO")
            QVERIFY(mkfifo(qPrintable(dir.path("settings.ini.lock")), 0644) == 0);
        if (obstacle.startsWith("lock held"))
            holdLock(holder, dir.path("settings.ini.lock"));
        if (obstacle.startsWith("immutable")) {
            window.writeDatabase(1100, "hitausmomentti");
            contents = dir.read("settings.ini");
            QVERIFY(makeUnwritable(dir.path("settings.ini"), true));
        }

        MessageLog log;
        QElapsedTimer clock;
        clock.start();
        window.writeDatabase(1500, "hitausmomentti");
        window.options->tireSize = 1700;
        window.WriteMotorAndGearDataBase(1);
        QVERIFY2(clock.elapsed() < 2600, qPrintable(QString::number(clock.elapsed())));
        if (obstacle.startsWith("immutable"))
            QVERIFY(makeUnwritable(dir.path("settings.ini"), false));

        QCOMPARE(window.statusBar()->currentMessage(),
                 QStringLiteral("Settings could not be saved to settings.ini"));
        QCOMPARE(log.lines().filter(QRegularExpression("^warning: ")).size(), 2);
        if (obstacle == "settings.ini is a FIFO")
            QVERIFY(QFileInfo(dir.path("settings.ini")).isFile() == false);
        else
            QCOMPARE(dir.read("settings.ini"), contents);
        QCOMPARE(window.settingsManager->ReadSettings("hitausmomentti"), 1500); // still in use
        holder.kill();
        holder.waitForFinished();
        QDir(dir.path()).rmdir("settings.ini.lock");
        QFile::remove(dir.path("settings.ini.lock"));
    }

    // A failure is decided afresh at every save: once the obstacle is gone the
    // next save writes every value in use, including keys the file lost.
    void saveAfterAFailureRestoresEveryValueInUse()
    {
        WorkingDirectory dir;
        dir.write("settings.ini", ExampleVehicle);
        MainWindow window;
        QProcess holder;
        holdLock(holder, dir.path("settings.ini.lock"));
        window.writeDatabase(1500, "hitausmomentti");
        QCOMPARE(window.statusBar()->currentMessage(),
                 QStringLiteral("Settings could not be saved to settings.ini"));
        holder.kill();
        holder.waitForFinished();

        QVERIFY(QFile::remove(dir.path("settings.ini"))); // deleted meanwhile
        dir.write("settings.ini.lock", "");               // and a lock left by a killed run
        QFile stale(dir.path("settings.ini.lock"));
        QVERIFY(stale.open(QIODevice::ReadWrite)
                && stale.setFileTime(QDateTime::currentDateTime().addSecs(-5),
                                     QFileDevice::FileModificationTime));
        stale.close();
        QElapsedTimer clock;
        clock.start();
        window.writeDatabase(1600, "hitausmomentti");
        QVERIFY(clock.elapsed() < 1500);
        QCOMPARE(window.statusBar()->currentMessage(), QString());
        const QMap<QString, QString> stored = iniValues(dir.read("settings.ini"));
        QCOMPARE(stored.size(), 9);
        QCOMPARE(stored.value("hitausmomentti"), QStringLiteral("1600"));
        QCOMPARE(stored.value("vaihde5"), QStringLiteral("80"));
        QVERIFY(!QFile::exists(dir.path("settings.ini.lock")));

        // A key another program changed is left as it is.
        dir.write("settings.ini", QByteArray(ExampleVehicle).replace("vaihde5=80", "vaihde5=85"));
        window.writeDatabase(1700, "hitausmomentti");
        QCOMPARE(iniValues(dir.read("settings.ini")).value("vaihde5"), QStringLiteral("85"));
    }

    void readsAndSavesAsTheSettingsClassReads_data()
    {
        QTest::addColumn<QByteArray>("contents");
        QTest::newRow("written by the settings class") << writtenBySettingsClass();
        QTest::newRow("quoted and padded")
            << QByteArray("[General]\nhitausmomentti=\"1500\"\nTireSize=\" 1000 \"\n"
                          "peravalitys = 373 \nrpmredline=\"6000\" ; quoted\n");
        QTest::newRow("escapes and continued lines")
            << QByteArray("[General]\nhitausmomentti=1\\x30\nTireSize=10\\\n00\n"
                          "peravalitys=3\\\r\n73\nvaihde1=\\063\\065\\060\n");
        QTest::newRow("CR line ends")
            << QByteArray("[General]\rhitausmomentti=1200\rTireSize=2550\r");
        QTest::newRow("CRLF line ends, byte order mark")
            << QByteArray("\xef\xbb\xbf[General]\r\nhitausmomentti=1200\r\nvaihde2=210\r\n");
        QTest::newRow("encoded keys, unclosed header, repeated key")
            << QByteArray("[General\nTire%53ize=2550\nhitausmomentti=1000\nhitausmomentti=1100\n"
                          "vaihde%31=350\n%55nknown=1\n");
        QTest::newRow("comments and other sections")
            << QByteArray("; my car\n[Other%20Group]\nhitausmomentti=5\nnested\\key=1\n\n"
                          "[general]\n  ; was 1000\nhitausmomentti=900 ; tuned\n[Vehicle]\n"
                          "TireSize=1\n");
        QTest::newRow("lists, binary forms, beyond 32 bits")
            << QByteArray("[General]\nhitausmomentti=1,2\nTireSize=@ByteArray(2550)\n"
                          "peravalitys=@Variant(\\0\\0\\0\\x2\\0\\0\\x1u)\n"
                          "rpmredline=@String(6000)\nvaihde1=99999999999\nvaihde2=-2147483648\n"
                          "vaihde3=\"35\n0\"\nvaihde4=@@4\n");
        QTest::newRow("no general header, bytes that are not UTF-8")
            << QByteArray("vaihde5=80\n\xff\xfe=\xc3\n[Other]\nkept=\"a;b\"\n");
        QTest::newRow("empty") << QByteArray();
        // The general section ends the file in a line still open, which
        // anything added after it would continue.
        QTest::newRow("open quote at the end")
            << QByteArray("[General]\nTireSize=2550\nnote=\"abc");
        QTest::newRow("backslash at the end") << QByteArray("[General]\nTireSize=2550\nnote=abc\\");
        QTest::newRow("open header at the end")
            << QByteArray("TireSize=2550\n[Other]\nx=1\n[General]\"");
        QTest::newRow("quote left open earlier")
            << QByteArray("[General]\nTireSize=2550\nnote=\"abc\nx=1\n");
        QTest::newRow("CR file ending backslash LF")
            << QByteArray("[General]\rTireSize=2550\rnote=abc\\\n");
        QTest::newRow("LF file ending backslash CR")
            << QByteArray("[General]\nTireSize=2550\nnote=abc\\\r");
        // Byte order marks, where Qt releases read the first line otherwise.
        QTest::newRow("mark, blank") << QByteArray("\xef\xbb\xbf TireSize=2550\nx=1\n");
        QTest::newRow("mark, vertical tab") << QByteArray("\xef\xbb\xbf\vTireSize=2550\n");
        QTest::newRow("mark, quote") << QByteArray("\xef\xbb\xbf\" TireSize=2\"\nTireSize=2550\n");
        QTest::newRow("two marks") << QByteArray("\xef\xbb\xbf\xef\xbb\xbfTireSize=2550\n");
        QTest::newRow("mark on a later line") << QByteArray("x=1\n\xef\xbb\xbfTireSize=2550\n");
        // A list converts to no number, whatever its first item holds.
        QTest::newRow("a UTF-8 sequence left open before blanks")
            << QByteArray("peravalitys = 37\xc6 \nrpmredline=\"6000\"\xd9 ; quoted\n");
        // A save reads back past its edits until the texts read alike: here
        // past a comment longer than the first stretch of the file it reads.
        QTest::newRow("a long comment after the added key")
            << "[General]\nTireSize=2550\n;" + QByteArray(100000, 'c') + "\n[Other]\nx=1\n";
        QTest::newRow("lists whose first item ends at a NUL") << QByteArray(
            "vaihde1=5\\0,\nvaihde2=\"12\\0\", 7\nvaihde3=2147483647\\0,@Variant(x)\n");
    }

    // The parameters read as the settings class reads them; a save changes
    // one value and every other key, comment and line stays as it was.
    void readsAndSavesAsTheSettingsClassReads()
    {
        QFETCH(QByteArray, contents);
        WorkingDirectory dir;
        dir.write("settings.ini", contents);
        const auto before = oracle(contents);
        SettingsManager store;
        for (const QString &key : ParameterKeys)
            QVERIFY2(store.ReadSettings(key) == parameterAsRead(before->value(key)),
                     qPrintable(key));

        checkSaveReadsBack(dir, contents);
        const QByteArray saved = dir.read("settings.ini");
        QVERIFY(saved != contents); // each of these files can take both values
        for (const QByteArray &line : contents.split('\n'))
            if (line.trimmed().startsWith(';'))
                QVERIFY2(saved.contains(line), line.constData());
        if (QTest::currentDataTag() == QLatin1String("written by the settings class")) {
            dir.write("by settings class.ini", contents);
            QSettings settingsClass(dir.path("by settings class.ini"), QSettings::IniFormat);
            settingsClass.setValue("hitausmomentti", 4321);
            settingsClass.setValue("TireSize", 1234);
            settingsClass.sync();
            QCOMPARE(saved, dir.read("by settings class.ini"));
        }
    }

    // Random INI-like lines: nothing crashes, the saved key reads as saved,
    // every other key as before, and every other line stays, in order.
    void randomFilesKeepEveryOtherLine()
    {
        const QList<QByteArray> pieces = {"[General]", "[Other]",  "[a%20b]", "hitausmomentti",
                                          "TireSize",  "vaihde1",  "=",       "\"\"",
                                          ";",         "\\t",      ",",       "1",
                                          "-7",        " ",        "%",       "x",
                                          "\\",        "\xc3\xa4", "\xff",    "@Rect(1 2 3 4)"};
        const QList<QByteArray> lineEnds = {"\n", "\r\n", "\r"};
        QRandomGenerator generator(20261209);
        for (int round = 0; round < 300; ++round) {
            const QByteArray &eol = lineEnds[generator.bounded(3)];
            QList<QByteArray> lines;
            for (int count = generator.bounded(12); count > 0; --count) {
                QByteArray line;
                for (int n = 1 + generator.bounded(6); n > 0; --n)
                    line += pieces[generator.bounded(pieces.size())];
                while (line.endsWith('\\')) // a line of its own: not continued
                    line.chop(1);
                lines << line;
            }
            const QByteArray text = lines.join(eol);
            const IniDocument::Edited edited =
                IniDocument(text).withValues({{"hitausmomentti", IniDocument::intText(4321)}});
            QVERIFY(edited.readsBack);
            const QByteArray saved = edited.text(text);
            const QString seed = QString::fromLatin1(text.toPercentEncoding());
            const auto reader = oracle(saved);
            QVERIFY2(reader->value("hitausmomentti").toString() == "4321", qPrintable(seed));
            QCOMPARE(oracleValues(*reader, {"hitausmomentti"}),
                     oracleValues(*oracle(text), {"hitausmomentti"}));
            // A text of one line has no line end to follow: any may have been added.
            const QList<QByteArray> after =
                QByteArray(saved).replace("\r\n", "\n").replace('\r', '\n').split('\n');
            qsizetype at = 0;
            for (const QByteArray &line : lines) {
                if (line.contains("hitausmomentti"))
                    continue;
                while (at < after.size() && after[at] != line)
                    ++at;
                QVERIFY2(at < after.size(), qPrintable(seed));
                ++at;
            }
        }
    }

    // Files made to catch the reader out: lines left open at the ends of
    // sections, every kind of line end in one file, byte order marks
    // anywhere. The parameters read as the settings class reads them, and a
    // save of two values either reads back as intended or is refused.
    void nastyFilesReadBackOrAreRefused()
    {
        const QByteArray mark = "\xef\xbb\xbf";
        const QList<QByteArray> headers = {"[General]", "[general]",   " [General] ", "[Other]",
                                           "[a%20b]",   "[General]\"", "[General"};
        const QList<QByteArray> keys = {"hitausmomentti", "TireSize",  "vaihde1",   "note", "x",
                                        " TireSize",      "\vvaihde1", "Tire%53ize"};
        const QList<QByteArray> values = {"1",      "\"2\"", " 3 ;c", "\"a\nb\"",
                                          "a\\\nb", "\"",    "\\",    "@Rect(1 2 3 4)",
                                          "x,y",    "",      "4\\"};
        const QList<QByteArray> ends = {"\n", "\r\n", "\r", "\n\r", ""};
        QRandomGenerator generator(4096);
        const auto any = [&generator](const QList<QByteArray> &from) {
            return from[generator.bounded(int(from.size()))];
        };
        const int rounds = 3000;
        int refused = 0;
        for (int round = 0; round < rounds; ++round) {
            QByteArray text;
            for (int section = generator.bounded(4); section > 0; --section) {
                if (generator.bounded(3) != 0)
                    text += any(headers) + any(ends);
                for (int line = generator.bounded(4); line > 0; --line)
                    text += any(keys) + '=' + any(values) + any(ends);
                const int open = generator.bounded(4);
                if (open < 2)
                    text += QByteArray(open == 0 ? "note=\"abc" : "note=abc\\") + any(ends);
            }
            for (int marks = generator.bounded(3); marks > 0; --marks)
                text.insert(generator.bounded(int(text.size()) + 1), mark);
            if (generator.bounded(3) == 0)
                text.prepend(mark);

            const QString seed = QString::fromLatin1(text.toPercentEncoding());
            const auto before = oracle(text);
            const QHash<QString, QVariant> read = IniDocument(text).values(ParameterKeys);
            for (const QString &key : ParameterKeys)
                QVERIFY2(IniDocument::toInt(read.value(key)).value_or(0)
                             == parameterAsRead(before->value(key)),
                         qPrintable(key + ' ' + seed));

            const IniDocument::Edited edited =
                IniDocument(text).withValues({{"hitausmomentti", "4321"}, {"TireSize", "1234"}});
            if (!edited.readsBack) {
                ++refused;
                continue;
            }
            QVERIFY2(readsAsSaved(text, edited.text(text)), qPrintable(seed));
        }
        // The check before writing is a last guard, not the way most saves end.
        QVERIFY2(refused < rounds / 50, qPrintable(QString::number(refused)));
    }

    // A save writes settings.ini and nothing else: no backup through a link
    // of that name, and an existing backup is left alone.
    void savesWriteNothingButTheFile()
    {
        WorkingDirectory dir;
        dir.write("settings.ini", ExampleVehicle + "not a setting\n");
        dir.write("outside", "someone else's");
        QVERIFY(QFile::link(dir.path("outside"), dir.path("settings.ini.bak")));
        MainWindow window;
        window.writeDatabase(1200, "hitausmomentti");
        QCOMPARE(window.statusBar()->currentMessage(), QString());
        QCOMPARE(dir.read("outside"), QByteArray("someone else's"));
        QCOMPARE(dir.read("settings.ini"),
                 QByteArray(ExampleVehicle + "not a setting\n").replace("=1000", "=1200"));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::System | QDir::Hidden).size(), 3);
    }

    // A settings.ini that is a symbolic link, to a file or to one not yet
    // made, is written through and stays a link.
    void symbolicLinksAreWrittenThrough()
    {
        WorkingDirectory dir;
        QVERIFY(QDir(dir.path()).mkdir("elsewhere"));
        dir.write("elsewhere/vehicle.ini", ExampleVehicle);
        for (const QString target : {"elsewhere/vehicle.ini", "elsewhere/new.ini"}) {
            QFile::remove(dir.path("settings.ini"));
            QVERIFY(QFile::link(target, dir.path("settings.ini")));
            SettingsManager store;
            store.settings->setValue("hitausmomentti", 2222);
            QVERIFY(store.save({"hitausmomentti"}));
            QVERIFY(QFileInfo(dir.path("settings.ini")).isSymLink());
            QCOMPARE(iniValues(dir.read(target)).value("hitausmomentti"), QStringLiteral("2222"));
        }
    }

    // A disk with room for the lock file but not for the new contents.
    void fullDiskKeepsTheFileAndIsReported()
    {
        WorkingDirectory dir;
        const QString disk = dir.path("disk");
        QDir().mkdir(disk);
        if (QProcess::execute("mount", {"-t", "tmpfs", "-o", "size=8k", "tmpfs", disk}) != 0) {
            QTest::qSkip("a small tmpfs cannot be mounted here (needs root)", __FILE__, __LINE__);
            return;
        }
        const QString previous = QDir::currentPath();
        QDir::setCurrent(disk);
        {
            QFile file("settings.ini");
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(ExampleVehicle);
        }
        {
            MainWindow window;
            window.writeDatabase(1500, "hitausmomentti");
            QCOMPARE(window.statusBar()->currentMessage(),
                     QStringLiteral("Settings could not be saved to settings.ini"));
        }
        QFile file("settings.ini");
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), ExampleVehicle);
        file.close();
        QDir::setCurrent(previous);
        QCOMPARE(QProcess::execute("umount", {disk}), 0);
    }

private:
    // Values edited over an unwritable file stay in use, the user is told,
    // and nothing on disk changes.
    static void checkUnwritableSettings(const WorkingDirectory &dir)
    {
        const QStringList before = QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden);
        MainWindow window;
        MessageLog log;
        runOptions(window, [](Options *options) {
            options->ui->Hitaus_spinBox->setValue(2000);
            runMotorDialog(options, [](MotorAndGearBoxOptions *motor) {
                setShown(motor, 17.0, 4.10, 5500, 3.45);
                motor->ui->pushButton->click();
            });
            options->ui->pushButton->click();
        });
        QCOMPARE(window.statusBar()->currentMessage(),
                 QStringLiteral("Settings could not be saved to settings.ini"));
        QCOMPARE(modelParameters(window.machine),
                 QList<int>({2000, 1700, 410, 5500, 345, 210, 140, 100, 80}));
        QCOMPARE(dir.read("settings.ini"), ExampleVehicle);
        QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden), before);
        QCOMPARE(log.lines().filter(QRegularExpression("^warning: ")).size(),
                 2); // one per failed save
        QCOMPARE(debugLines(),
                 QStringList({"Options - taulukko 2000", "jouman", "Options accepted"}));
    }
};

int main(int argc, char *argv[])
{
    // The unprivileged child: drop to "nobody" before anything else runs.
    QList<char *> args(argv, argv + argc);
    if (argc > 1 && qstrcmp(argv[1], "--unprivileged") == 0) {
        if (setgid(65534) != 0 || setuid(65534) != 0)
            return 77;
        args.removeAt(1);
    }
    QApplication app(argc, argv);
    TestParameters test;
    int count = int(args.size());
    return QTest::qExec(&test, count, args.data());
}

#include "tst_parameters.moc"
