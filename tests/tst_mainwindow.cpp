#include "mainwindow.h"
#include "motorandgearboxoptions.h"
#include "options.h"
#include "testsupport.h"
#include "ui_mainwindow.h"
#include "ui_motorandgearboxoptions.h"
#include "ui_options.h"

#include <QAbstractSpinBox>
#include <QAccessible>
#include <QLCDNumber>
#include <QMessageBox>
#include <QProcess>
#include <QScrollBar>
#include <QSet>
#include <QSpinBox>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>

#include <sys/stat.h>

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void widgetsHaveTheirKindGeometryAndText_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QRect>("geometry");
        QTest::addColumn<QString>("text");
        const auto row = [](const char *name, const char *kind, QRect geometry, const char *text) {
            QTest::newRow(name) << name << kind << geometry << QString::fromUtf8(text);
        };
        row("frame", "QFrame", {250, 80, 601, 401}, "");
        row("label", "QLabel", {870, 80, 81, 16}, "Tehopyyntö");
        row("lcdNumber", "QLCDNumber", {870, 400, 71, 31}, "");
        row("lcdNumber_2", "QLCDNumber", {80, 80, 131, 71}, "");
        row("label_2", "QLabel", {30, 100, 51, 31}, "RPM");
        row("label_3", "QLabel", {20, 180, 61, 41}, "km/h");
        row("lcdNumber_3", "QLCDNumber", {80, 160, 131, 71}, "");
        row("label_4", "QLabel", {960, 80, 81, 17}, "Kuormitus");
        row("lcdNumber_4", "QLCDNumber", {960, 400, 71, 31}, "");
        row("pushButton", "QPushButton", {910, 470, 93, 27}, "Start");
        row("verticalScrollBar", "QScrollBar", {890, 100, 31, 291}, "");
        row("verticalScrollBar_2", "QScrollBar", {970, 100, 31, 291}, "");
        row("pushButton_2", "QPushButton", {910, 500, 93, 27}, "Stop");
    }

    void widgetsHaveTheirKindGeometryAndText()
    {
        QFETCH(QString, name);
        QFETCH(QString, kind);
        QFETCH(QRect, geometry);
        QFETCH(QString, text);
        WorkingDirectory dir;
        MainWindow window;
        auto *widget = window.findChild<QWidget *>(name);
        QVERIFY(widget);
        QCOMPARE(widget->parentWidget(), window.ui->centralWidget);
        QVERIFY(widget->inherits(qPrintable(kind)));
        QCOMPARE(widget->geometry(), geometry);
        const QVariant shown = widget->property("text");
        QCOMPARE(shown.isValid() ? shown.toString() : QString(), text);
    }

    void windowIsFixedWithItsMenusAndBars()
    {
        WorkingDirectory dir;
        MainWindow window;
        QCOMPARE(window.objectName(), QStringLiteral("MainWindow"));
        QCOMPARE(window.windowTitle(), QStringLiteral("MainWindow"));
        QCOMPARE(window.size(), QSize(1054, 633));
        QCOMPARE(window.minimumSize(), QSize(1054, 633));
        QCOMPARE(window.maximumSize(), QSize(1054, 633));
        QCOMPARE(window.sizePolicy().horizontalPolicy(), QSizePolicy::Fixed);
        QCOMPARE(window.sizePolicy().verticalPolicy(), QSizePolicy::Fixed);
        QCOMPARE(window.sizePolicy().horizontalStretch(), 1);
        window.show();
        window.resize(1300, 900);
        QCoreApplication::processEvents();
        QCOMPARE(window.size(), QSize(1054, 633));

        QCOMPARE(window.menuBar(), window.ui->menuBar);
        QCOMPARE(window.statusBar(), window.ui->statusBar);
        const QList<QAction *> menus = window.ui->menuBar->actions();
        QCOMPARE(menus.size(), 2);
        QCOMPARE(menus[0]->menu(), window.ui->menuOptions);
        QCOMPARE(menus[0]->text(), QStringLiteral("File"));
        QCOMPARE(menus[1]->text(), QStringLiteral("Help"));
        QCOMPARE(window.ui->menuOptions->actions(),
                 QList<QAction *>({window.ui->actionOptions, window.ui->actionExit}));
        QCOMPARE(window.ui->menuHelp->actions(), QList<QAction *>({window.ui->actionAbout}));
        QCOMPARE(window.ui->actionOptions->text(), QStringLiteral("Options"));
        QCOMPARE(window.ui->actionExit->text(), QStringLiteral("Exit"));
        QCOMPARE(window.ui->actionAbout->text(), QStringLiteral("About"));
        QCOMPARE(window.toolBarArea(window.ui->mainToolBar), Qt::TopToolBarArea);
        QVERIFY(window.ui->mainToolBar->actions().isEmpty());
    }

    void controlsStartAtRest()
    {
        WorkingDirectory dir;
        MainWindow window;
        for (QScrollBar *bar : {window.ui->verticalScrollBar, window.ui->verticalScrollBar_2}) {
            QCOMPARE(bar->orientation(), Qt::Vertical);
            QCOMPARE(bar->minimum(), -100);
            QCOMPARE(bar->maximum(), 0);
            QCOMPARE(bar->value(), 0);
        }
        for (QLCDNumber *lcd : window.ui->centralWidget->findChildren<QLCDNumber *>()) {
            QCOMPARE(lcd->value(), 0.0);
            QCOMPARE(lcd->digitCount(), 5);
        }
        QVERIFY(!window.ui->lcdNumber->smallDecimalPoint());
        for (QLabel *label : {window.ui->label_2, window.ui->label_3}) {
            QCOMPARE(label->font().family(), QStringLiteral("Bitstream Charter"));
            QCOMPARE(label->font().pointSize(), 16);
        }
        QCOMPARE(window.ui->frame->frameShape(), QFrame::Box);
        QCOMPARE(window.ui->frame->frameShadow(), QFrame::Raised);
        QCOMPARE(window.plot->parentWidget(), window.ui->frame);
        QCOMPARE(window.plot->geometry(), QRect(0, 0, 601, 401));
        QVERIFY(!window.timer->isActive());
        QVERIFY(window.ui->pushButton->isEnabled());
        QCOMPARE(window.version, QStringLiteral(ENGINE_SIMULATOR_VERSION));
    }

    // Tab reaches the throttle and the load and the keys move them; the
    // controls, readouts and spin boxes carry the names of their labels.
    void controlsAreReachableFromTheKeyboardAndNamed()
    {
        WorkingDirectory dir;
        MainWindow window;
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), window.ui->verticalScrollBar);
        QTest::keyClick(window.ui->verticalScrollBar, Qt::Key_Up);
        QTest::keyClick(window.ui->verticalScrollBar, Qt::Key_PageUp);
        QCOMPARE(window.ui->lcdNumber->value(), 11.0);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QTest::keyClick(window.ui->verticalScrollBar_2, Qt::Key_Up);
        QCOMPARE(window.ui->lcdNumber_4->value(), 1.0);
        QVERIFY(!window.ui->statusBar->isSizeGripEnabled());

        const QMap<QWidget *, QString> names = {{window.ui->verticalScrollBar, "Tehopyyntö"},
                                                {window.ui->verticalScrollBar_2, "Kuormitus"},
                                                {window.ui->lcdNumber_2, "RPM"},
                                                {window.ui->lcdNumber_3, "km/h"}};
        for (auto it = names.cbegin(); it != names.cend(); ++it)
            QCOMPARE(it.key()->accessibleName(), it.value());
        // A screen reader says a spin box's label, then its name where the
        // name has words the label lacks: each spin box has one label, its
        // name, or none (the tire diameter, named with its unit).
        int spinBoxes = 0;
        for (QDialog *dialog : {static_cast<QDialog *>(window.options),
                                static_cast<QDialog *>(window.options->motorDialog)}) {
            for (QAbstractSpinBox *box : dialog->findChildren<QAbstractSpinBox *>()) {
                const auto labels =
                    QAccessible::queryAccessibleInterface(box)->relations(QAccessible::Label);
                QVERIFY(labels.size() <= 1);
                if (!labels.isEmpty())
                    QCOMPARE(labels.first().first->text(QAccessible::Name), box->accessibleName());
                ++spinBoxes;
            }
        }
        QCOMPARE(spinBoxes, 9);
    }

    // Tab follows the order the controls are made in, in all three windows;
    // the first focus is on Start, and starting a run hands it on.
    void keyboardFocusFollowsCreationOrder()
    {
        WorkingDirectory dir;
        MainWindow window;
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        const auto tabChain = [](int count) {
            QStringList chain;
            for (int i = 0; i < count; ++i) {
                chain << QApplication::focusWidget()->objectName();
                QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            }
            return chain;
        };
        QCOMPARE(QApplication::focusWidget(), window.ui->pushButton);
        QVERIFY(!window.testAttribute(Qt::WA_KeyboardFocusChange)); // no focus frame shows yet
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
        QVERIFY(window.timer->isActive());
        QCOMPARE(tabChain(4), QStringList({"verticalScrollBar", "verticalScrollBar_2",
                                           "pushButton_2", "verticalScrollBar"}));
        window.ui->pushButton_2->click();
        QCOMPARE(tabChain(4), QStringList({"verticalScrollBar_2", "pushButton_2", "pushButton",
                                           "verticalScrollBar"}));

        QStringList optionsChain;
        QStringList motorChain;
        QTimer::singleShot(0, [&] {
            auto *options = qobject_cast<Options *>(QApplication::activeModalWidget());
            QVERIFY(options && QTest::qWaitForWindowActive(options));
            optionsChain = tabChain(5);
            whenModal<MotorAndGearBoxOptions>([&](MotorAndGearBoxOptions *motor) {
                QVERIFY(QTest::qWaitForWindowActive(motor));
                motorChain = tabChain(10);
                QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
            });
            QTest::keyClick(options->ui->pushButton_3, Qt::Key_Space);
            options->ui->Hitaus_spinBox->setFocus();
            QTest::keyClick(options->ui->Hitaus_spinBox, Qt::Key_Return);
        });
        QCOMPARE(window.options->exec(), int(QDialog::Accepted));
        QCOMPARE(optionsChain, QStringList({"Hitaus_spinBox", "pushButton", "pushButton_2",
                                            "pushButton_3", "Hitaus_spinBox"}));
        QCOMPARE(motorChain, QStringList({"doubleSpinBox", "doubleSpinBox_2", "doubleSpinBox_3",
                                          "doubleSpinBox_4", "doubleSpinBox_5", "doubleSpinBox_6",
                                          "doubleSpinBox_7", "pushButton", "doubleSpinBox_8",
                                          "doubleSpinBox"}));
    }

    // What a screen reader hears: every control and readout once, by name,
    // the readouts with their current numbers, the scroll bars as the power
    // the user sees; the plot as a named chart; the motor dialog's fields in
    // the order they stand in.
    void assistiveTechnologyHearsWhatIsShown()
    {
        WorkingDirectory dir;
        MainWindow window;
        const auto interface = [](QObject *object) {
            return QAccessible::queryAccessibleInterface(object);
        };
        const auto name = [&](QObject *object) {
            return interface(object)->text(QAccessible::Name);
        };
        window.ui->verticalScrollBar->setValue(-80);
        window.ui->lcdNumber_2->display(3456.7);
        window.ui->lcdNumber_3->display(45.678);
        QCOMPARE(name(window.ui->lcdNumber_2), QStringLiteral("RPM 3457"));
        QCOMPARE(name(window.ui->lcdNumber_3), QStringLiteral("km/h 45.68"));
        QCOMPARE(name(window.ui->lcdNumber), QStringLiteral("Tehopyyntö 80"));
        window.ui->verticalScrollBar_2->setValue(-20);
        QCOMPARE(name(window.ui->lcdNumber_4), QStringLiteral("Kuormitus 20"));
        window.ui->lcdNumber_2->display(3460.2);
        QCOMPARE(name(window.ui->lcdNumber_2), QStringLiteral("RPM 3460"));
        // The labels beside the speed readouts, which say them, are not said again.
        QVERIFY(name(window.ui->label_2).isEmpty() && name(window.ui->label_3).isEmpty());

        QAccessibleInterface *throttle = interface(window.ui->verticalScrollBar);
        QCOMPARE(throttle->text(QAccessible::Value), QStringLiteral("80"));
        QCOMPARE(throttle->valueInterface()->currentValue().toInt(), 80);
        QCOMPARE(throttle->valueInterface()->minimumValue().toInt(), 0);
        QCOMPARE(throttle->valueInterface()->maximumValue().toInt(), 100);
        throttle->actionInterface()->doAction(QAccessibleActionInterface::increaseAction());
        QCOMPARE(window.ui->lcdNumber->value(), 81.0);
        throttle->valueInterface()->setCurrentValue(30);
        QCOMPARE(window.ui->verticalScrollBar->value(), -30);

        QAccessibleInterface *plot = interface(window.plot);
        QCOMPARE(plot->role(), QAccessible::Chart);
        QVERIFY(!plot->text(QAccessible::Name).isEmpty());
        QVERIFY(!plot->text(QAccessible::Description).isEmpty());

        QStringList names;
        for (QObject *control : std::initializer_list<QObject *>{
                 window.ui->verticalScrollBar, window.ui->verticalScrollBar_2,
                 window.ui->pushButton, window.ui->pushButton_2, window.ui->lcdNumber,
                 window.ui->lcdNumber_2, window.ui->lcdNumber_3, window.ui->lcdNumber_4,
                 window.plot})
            names << name(control);
        QCOMPARE(QSet<QString>(names.cbegin(), names.cend()).size(), names.size());

        // The dialogs say what they are; spin boxes give their real steps
        // and the tire diameter its unit.
        MotorAndGearBoxOptions *motor = window.options->motorDialog;
        QCOMPARE(name(window.options), QStringLiteral("Options"));
        QCOMPARE(name(motor), motor->ui->label->text()); // its heading is then not said again
        QCOMPARE(interface(window.options->ui->Hitaus_spinBox)
                     ->valueInterface()
                     ->minimumStepSize()
                     .toInt(),
                 1000);
        for (QDoubleSpinBox *box : motor->findChildren<QDoubleSpinBox *>())
            QCOMPARE(interface(box)->valueInterface()->minimumStepSize().toDouble(), 1.0);
        QCOMPARE(name(motor->ui->doubleSpinBox), QStringLiteral("Tire Diameter (inches)"));

        // A message in the status bar, and the start and the stop of a run,
        // show as a notification, which a screen reader speaks as it
        // appears: each message shows it afresh. (Qt tells the accessibility
        // bus when a widget shows; the offscreen platform has no bus, so the
        // showing is watched here.)
        struct Shown : QObject
        {
            QStringList names;
            bool eventFilter(QObject *object, QEvent *event) override
            {
                if (event->type() != QEvent::Show)
                    return false;
                QAccessibleInterface *source = QAccessible::queryAccessibleInterface(object);
                if (source && source->role() == QAccessible::Notification)
                    names << source->text(QAccessible::Name);
                return false;
            }
        } shown;
        qApp->installEventFilter(&shown);
        const QString notice = QStringLiteral("Settings are kept for this run only: test");
        window.statusBar()->showMessage(notice); // as the launcher's, before the window shows
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        QCOMPARE(shown.names, QStringList({notice, notice})); // again once it has the focus
        shown.names.clear();
        QVERIFY(QDir(dir.path()).mkdir("settings.ini")); // a save cannot but fail
        window.writeDatabase(1200, "hitausmomentti");
        window.writeDatabase(1300, "hitausmomentti");
        QCOMPARE(shown.names, QStringList({"Settings could not be saved to settings.ini",
                                           "Settings could not be saved to settings.ini"}));
        shown.names.clear();
        window.ui->pushButton->click();
        window.ui->pushButton_2->click();
        QCOMPARE(shown.names,
                 QStringList({"Simulation started", "Simulation stopped at 3460 rpm, 45.68 km/h"}));
        window.hide();
    }

    void aboutBoxShowsVersionAndLogo()
    {
        enum Logo : std::uint8_t { Image, Missing, Fifo };
        for (Logo logo : {Image, Missing, Fifo}) {
            const bool withLogo = logo == Image;
            WorkingDirectory dir;
            if (withLogo)
                QVERIFY(QFile::copy(qEnvironmentVariable("LOGO_PNG"), dir.path("logo.png")));
            if (logo == Fifo) // opening it would wait for a writer
                QVERIFY(mkfifo(qPrintable(dir.path("logo.png")), 0644) == 0);
            MainWindow window;
            window.show();
            QString title, text;
            bool modal = false, hasIcon = false;
            whenModal<QMessageBox>([&](QMessageBox *box) {
                title = box->windowTitle();
                text = box->text();
                modal = box->isModal() && !box->parentWidget();
                hasIcon = !box->iconPixmap().isNull();
                QCOMPARE(box->buttons().size(), 1);
                box->button(QMessageBox::Ok)->click();
            });
            window.ui->actionAbout->trigger();
            QCOMPARE(title, QStringLiteral("Information"));
            QVERIFY(modal);
            QVERIFY2(text.endsWith(QStringLiteral("\n\nVersion: " ENGINE_SIMULATOR_VERSION " \n")),
                     qPrintable(text));
            QVERIFY(text.indexOf(QStringLiteral("\n\n")) > 0); // a credit paragraph comes first
            // Sentences are not broken by hand, so the box wraps them evenly.
            for (const QString &paragraph : text.split(QStringLiteral("\n\n")))
                QVERIFY(!paragraph.trimmed().contains(QLatin1Char('\n')));
            QCOMPARE(hasIcon, withLogo);
        }
    }

    // Exit ends the process at once, so it runs in a child copy of this test.
    void exitEndsTheProcessWithStatusZero()
    {
        WorkingDirectory dir;
        QProcess child;
        child.setWorkingDirectory(dir.path());
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        // Qt's notice about the runtime folder stays away, and a leak's
        // stack is unwound in full, as tests/lsan.supp needs after Exit.
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), dir.path());
        if (env.contains(QStringLiteral("ASAN_OPTIONS")))
            env.insert(QStringLiteral("ASAN_OPTIONS"),
                       env.value(QStringLiteral("ASAN_OPTIONS"))
                           + QStringLiteral(":fast_unwind_on_malloc=0"));
        child.setProcessEnvironment(env);
        child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--exit-child")});
        QVERIFY(child.waitForFinished(20000));
        QCOMPARE(child.exitStatus(), QProcess::NormalExit);
        QCOMPARE(child.exitCode(), 0);
        QCOMPARE(child.readAllStandardOutput(), QByteArray());
        // The only line is the motor dialog's own debug line from reading the settings.
        QCOMPARE(child.readAllStandardError(), QByteArray("jouman\n"));
        QVERIFY(!QFile::exists(dir.path("settings.ini")));
    }

    void closingTheWindowEndsTheEventLoopWithZero()
    {
        WorkingDirectory dir;
        MainWindow window;
        window.show();
        QTimer::singleShot(0, &window, &QWidget::close);
        QCOMPARE(QCoreApplication::exec(), 0);
    }
};

// The child run of the Exit test: start a run, then choose Exit from the menu.
static int exitWhileRunning()
{
    MainWindow window;
    window.show();
    window.ui->pushButton->click();
    QTimer::singleShot(100, window.ui->actionExit, &QAction::trigger);
    QCoreApplication::exec();
    return 3; // Exit never lets the event loop return
}

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    if (app.arguments().contains(QStringLiteral("--exit-child")))
        return exitWhileRunning();
    TestMainWindow test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_mainwindow.moc"
