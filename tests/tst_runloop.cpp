#include "lcdnumber.h"
#include "machineformath.h"
#include "mainwindow.h"
#include "testsupport.h"
#include "ui_mainwindow.h"

#include <QFocusFrame>
#include <QLCDNumber>
#include <QRandomGenerator>
#include <QScrollBar>
#include <QStyleFactory>

class TestRunLoop : public QObject
{
    Q_OBJECT

private:
    // The worked example's vehicle, handed to the model as if read from the file.
    static void loadVehicle(MainWindow &window)
    {
        window.machine->getData(1000, 2550, 373, 6000, 350, 210, 140, 100, 80);
    }

    // Starts a run of that vehicle at the given throttle, with the timer
    // stopped so that the test drives each tick itself.
    static void startRunByHand(MainWindow &window, int throttle)
    {
        loadVehicle(window);
        window.ui->verticalScrollBar->setValue(throttle);
        window.ui->pushButton->click();
        window.timer->stop();
    }

    // The layers that draw into the same paint buffer as `layer`, itself included.
    static int layersSharingBufferWith(QCustomPlot *plot, const QString &layer)
    {
        struct Buffer : QCPLayer
        {
            static QCPAbstractPaintBuffer *of(QCPLayer *layer)
            {
                return (layer->*(&Buffer::mPaintBuffer)).toStrongRef().data();
            }
        };
        int sharing = 0;
        for (int i = 0; i < plot->layerCount(); ++i)
            sharing += Buffer::of(plot->layer(i)) == Buffer::of(plot->layer(layer));
        return sharing;
    }

    static QStringList legendNames(const QCustomPlot *plot)
    {
        QStringList names;
        for (int i = 0; i < plot->legend->itemCount(); ++i)
            names << qobject_cast<QCPPlottableLegendItem *>(plot->legend->item(i))
                         ->plottable()
                         ->name();
        return names;
    }

private slots:
    void plotShowsBothCurvesAfterConstruction()
    {
        WorkingDirectory dir;
        MessageLog log;
        MainWindow window;
        // The torque table is longer than its keys; no size-mismatch line may appear.
        QCOMPARE(log.lines(), QStringList({"debug: jouman"}));

        QCustomPlot *plot = window.plot;
        QCOMPARE(plot->graphCount(), 2);
        QCOMPARE(plot->interactions(), QCP::iRangeDrag | QCP::iRangeZoom | QCP::iSelectPlottables
                                           | QCP::iSelectAxes | QCP::iSelectLegend
                                           | QCP::iSelectOther);
        QCOMPARE(plot->axisRect()->rangeDrag(), Qt::Horizontal | Qt::Vertical);
        QCOMPARE(plot->axisRect()->rangeZoom(), Qt::Horizontal | Qt::Vertical);
        QCOMPARE(plot->axisRect()->autoMargins(), QCP::msAll);

        QCOMPARE(plot->xAxis->range(), QCPRange(0, 5500));
        QCOMPARE(plot->yAxis->range(), QCPRange(0, 100));
        QCOMPARE(plot->yAxis2->range(), QCPRange(0, 275));
        QVERIFY(plot->xAxis->visible() && plot->yAxis->visible() && plot->yAxis2->visible());
        QVERIFY(!plot->xAxis2->visible());
        QCOMPARE(plot->xAxis->label(), QStringLiteral("Kierrosluku - RPM"));
        QCOMPARE(plot->yAxis->label(), QStringLiteral("Teho - kW"));
        QCOMPARE(plot->yAxis2->label(), QStringLiteral("Vääntömomentti - Nm"));
        QCOMPARE(plot->xAxis2->label(), QStringLiteral("x Axis2"));
        auto *title = qobject_cast<QCPTextElement *>(plot->plotLayout()->element(0, 0));
        QVERIFY(title);
        QCOMPARE(title->text(), QStringLiteral("Momentti- ja voimakäyrät"));
        QVERIFY(title->selectable());

        QVERIFY(plot->legend->visible());
        QCOMPARE(plot->legend->font().pointSize(), 10);
        QCOMPARE(plot->legend->selectedFont().pointSize(), 10);
        QCOMPARE(plot->legend->selectableParts(), QCPLegend::spItems);
        QCOMPARE(plot->axisRect()->insetLayout()->insetAlignment(0),
                 Qt::AlignBottom | Qt::AlignRight);
        QCOMPARE(legendNames(plot), QStringList({"PowerCurve", "TorqueCurve"}));

        const struct
        {
            const char *name;
            QCPAxis *valueAxis;
            QColor colour;
            const QVector<double> &values;
        } expected[] = {
            {"PowerCurve", plot->yAxis, QColor(0, 0, 0), window.machine->powerCurve},
            {"TorqueCurve", plot->yAxis2, QColor(255, 0, 0), window.machine->torqueTable}};
        for (int i = 0; i < 2; ++i) {
            QCPGraph *graph = plot->graph(i);
            QCOMPARE(graph->name(), QString::fromLatin1(expected[i].name));
            QCOMPARE(graph->keyAxis(), plot->xAxis);
            QCOMPARE(graph->valueAxis(), expected[i].valueAxis);
            QCOMPARE(graph->pen().color(), expected[i].colour);
            QCOMPARE(graph->pen().widthF(), 2.0);
            QCOMPARE(graph->lineStyle(), QCPGraph::lsLine);
            QCOMPARE(graph->scatterStyle().shape(), QCPScatterStyle::ssDot);
            QCOMPARE(graph->dataCount(), 4001);
            for (int k = 0; k < 4001; k += 400) {
                QCOMPARE(graph->data()->at(k)->key, 1000.0 + k);
                QCOMPARE(graph->data()->at(k)->value, expected[i].values[k]);
            }
        }
    }

    void startAddsTheLiveGraphAndStopRemovesIt()
    {
        WorkingDirectory dir;
        MainWindow window;
        QCustomPlot *plot = window.plot;

        window.ui->pushButton->click();
        QCOMPARE(plot->graphCount(), 3);
        QCPGraph *live = plot->graph(2);
        QCOMPARE(live->name(), QStringLiteral("RealPower"));
        QCOMPARE(live->keyAxis(), plot->xAxis);
        QCOMPARE(live->valueAxis(), plot->yAxis);
        QCOMPARE(live->pen().color(), QColor(0, 255, 0));
        QCOMPARE(live->pen().widthF(), 2.0);
        QCOMPARE(live->lineStyle(), QCPGraph::lsLine);
        QCOMPARE(live->scatterStyle().shape(), QCPScatterStyle::ssCircle);
        QCOMPARE(live->scatterStyle().brush().style(), Qt::NoBrush);
        QCOMPARE(legendNames(plot), QStringList({"PowerCurve", "TorqueCurve", "RealPower"}));
        QVERIFY(window.timer->isActive());
        QCOMPARE(window.timer->interval(), 10);
        QVERIFY(!window.ui->pushButton->isEnabled());

        window.ui->pushButton_2->click();
        QCOMPARE(plot->graphCount(), 2);
        QCOMPARE(legendNames(plot), QStringList({"PowerCurve", "TorqueCurve"}));
        QVERIFY(!window.timer->isActive());
        QVERIFY(window.ui->pushButton->isEnabled());
    }

    void stopWhileIdleOnlyResetsTheModel()
    {
        WorkingDirectory dir;
        MainWindow window;
        window.machine->engineSpeed = 2500;
        window.ui->pushButton_2->click();
        QCOMPARE(window.plot->graphCount(), 2);
        QVERIFY(!window.timer->isActive());
        QVERIFY(window.ui->pushButton->isEnabled());
        QCOMPARE(window.machine->engineSpeed, 1000.0);
        QCOMPARE(window.machine->liveRpm, QVector<double>{0.0});
    }

    void realTimerTicksMoveTheLivePoint()
    {
        WorkingDirectory dir;
        MainWindow window;
        loadVehicle(window);
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        window.ui->verticalScrollBar->setValue(-100);
        // A scroll bar with the keyboard focus shows it, and only then.
        const auto *focusFrame = window.findChild<QFocusFrame *>();
        window.ui->verticalScrollBar->setFocus();
        QVERIFY(focusFrame->isVisible());
        QCOMPARE(focusFrame->widget(), window.ui->verticalScrollBar);
        window.ui->pushButton->setFocus();
        QVERIFY(!focusFrame->isVisible());

        // Space on Start runs, the focus moves on to the throttle, and Space
        // on Stop stops.
        QTest::keyClick(window.ui->pushButton, Qt::Key_Space);
        QCOMPARE(QApplication::focusWidget(), window.ui->verticalScrollBar);
        QTRY_VERIFY(window.machine->engineSpeed > 1010);
        QCOMPARE(window.plot->graph(2)->dataCount(), 1);
        QCOMPARE(window.plot->graph(2)->data()->at(0)->key, window.machine->engineSpeed);
        QCOMPARE(window.ui->lcdNumber_2->value(), window.machine->engineSpeed);
        QTest::keyClick(window.ui->pushButton_2, Qt::Key_Space);
        QVERIFY(!window.timer->isActive());
    }

    void throttleReachesTheModelAtOnceAndLoadOnlyAtATick()
    {
        WorkingDirectory dir;
        MainWindow window;
        loadVehicle(window);

        // Idle: the throttle goes to the model, the load only to its readout.
        window.ui->verticalScrollBar->setValue(-60);
        QCOMPARE(window.machine->requestedPower, 60.0);
        QCOMPARE(window.ui->lcdNumber->value(), 60.0);
        window.ui->verticalScrollBar_2->setValue(-20);
        QCOMPARE(window.ui->lcdNumber_4->value(), 20.0);
        QCOMPARE(window.machine->engineSpeed, 1000.0);
        QCOMPARE(window.ui->lcdNumber_2->value(), 0.0);
        window.ui->verticalScrollBar->setValue(-100);
        window.ui->verticalScrollBar_2->setValue(-100);
        QCOMPARE(window.ui->lcdNumber->value(), 100.0);
        QCOMPARE(window.ui->lcdNumber_4->value(), 100.0);

        // A tick hands the load's raw value to the step, which negates it.
        window.ui->verticalScrollBar->setValue(0);
        window.ui->verticalScrollBar_2->setValue(-20);
        window.ui->pushButton->click();
        window.timer->stop(); // drive the ticks by hand from here
        window.drawPlot();
        QCOMPARE(window.machine->netPower, -20000.0);
        QCOMPARE(window.machine->engineSpeed, 1000.0);
        QCOMPARE(window.machine->livePower, QVector<double>{0.0});

        // Running: the throttle still reaches the model at once.
        window.ui->verticalScrollBar->setValue(-30);
        QCOMPARE(window.machine->requestedPower, 30.0);
    }

    void readoutsKeepTheirValuesAfterStopAndTheNextRunStartsAtIdle()
    {
        WorkingDirectory dir;
        MainWindow window;
        startRunByHand(window, -100);
        for (int i = 0; i < 20; ++i)
            window.drawPlot();
        const double rpm = window.ui->lcdNumber_2->value();
        const double kmh = window.ui->lcdNumber_3->value();
        QVERIFY(rpm > 1000);
        QVERIFY(kmh > 9);

        window.ui->pushButton_2->click();
        QCOMPARE(window.ui->lcdNumber_2->value(), rpm);
        QCOMPARE(window.ui->lcdNumber_3->value(), kmh);

        window.ui->pushButton->click();
        window.timer->stop();
        window.drawPlot();
        QCOMPARE(QString::number(window.machine->engineSpeed, 'f', 6),
                 QStringLiteral("1001.432439"));
        QCOMPARE(window.plot->graph(2)->dataCount(), 1);
    }

    void fullThrottleWithoutLoadShowsJustAbove5000()
    {
        WorkingDirectory dir;
        MainWindow window;
        startRunByHand(window, -100);
        window.machine->engineSpeed = 4990;
        for (int i = 0; i < 50; ++i)
            window.drawPlot();
        QCOMPARE(QString::number(window.ui->lcdNumber_2->value(), 'f', 3),
                 QStringLiteral("5001.696"));
    }

    void untouchedControlsStayAtIdle()
    {
        WorkingDirectory dir;
        MainWindow window;
        startRunByHand(window, 0);
        for (int i = 0; i < 10; ++i) {
            window.drawPlot();
            QCOMPARE(window.ui->lcdNumber_2->value(), 1000.0);
            QCOMPARE(window.plot->graph(2)->data()->at(0)->key, 1000.0);
            QCOMPARE(window.plot->graph(2)->data()->at(0)->value, 0.0);
        }
    }

    // The first picture costs one redraw of the plot, into a single paint
    // buffer; Start gives the live graph's layer a buffer of its own, which
    // each tick redraws alone.
    void firstPictureIsOneRedrawIntoOneBuffer()
    {
        WorkingDirectory dir;
        MainWindow window;
        QSignalSpy redraws(window.plot, &QCustomPlot::afterReplot);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QCoreApplication::processEvents();
        QCOMPARE(redraws.count(), 1);
        QCOMPARE(layersSharingBufferWith(window.plot, MainWindow::LiveLayer),
                 window.plot->layerCount());
        startRunByHand(window, -80);
        QCOMPARE(layersSharingBufferWith(window.plot, MainWindow::LiveLayer), 1);
    }

    // A tick repaints only where the live graph was and is; what reaches the
    // screen must be what a full redraw shows there: on steady ticks, after a
    // drag, with the live graph selected, in every legend position, and on
    // the first tick after Stop and Start.
    void tickShowsWhatAFullRedrawShows()
    {
        WorkingDirectory dir;
        MainWindow window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        window.ui->verticalScrollBar_2->setValue(-20);
        startRunByHand(window, -80);
        QCustomPlot *plot = window.plot;
        QSignalSpy fullRedraws(plot, &QCustomPlot::afterReplot);

        const auto screen = [&window] {
            QCoreApplication::processEvents();
            return window.screen()->grabWindow(window.winId()).toImage();
        };
        const auto ticksMatchAFullRedraw = [&](const char *when, int ticks) {
            for (int i = 0; i < ticks; ++i) {
                QImage before = screen();
                window.drawPlot();
                const QImage ticked = screen();
                QVERIFY2(ticked != before, when); // the live point did move
                plot->replot(QCustomPlot::rpImmediateRefresh);
                QVERIFY2(ticked == screen(), when);
            }
        };

        window.machine->engineSpeed = 1500;
        ticksMatchAFullRedraw("steady", 3);
        const auto redraws = fullRedraws.count();
        for (int i = 0; i < 5; ++i)
            window.drawPlot();
        QCOMPARE(fullRedraws.count(), redraws); // steady ticks redraw only the live layer

        const QPoint centre = plot->axisRect()->rect().center();
        QTest::mousePress(plot, Qt::LeftButton, {}, centre);
        QTest::mouseMove(plot, centre + QPoint(-30, 20));
        QTest::mouseRelease(plot, Qt::LeftButton, {}, centre + QPoint(-30, 20));
        ticksMatchAFullRedraw("after a drag", 2);

        QCPGraph *live = plot->graph(2);
        live->setSelection(QCPDataSelection(live->data()->dataRange()));
        plot->replot();
        ticksMatchAFullRedraw("selected", 2);

        plot->xAxis->setRange(0, 5500);
        plot->yAxis->setRange(0, 100);
        for (Qt::Alignment corner : {Qt::AlignTop | Qt::AlignLeft, Qt::AlignTop | Qt::AlignHCenter,
                                     Qt::AlignTop | Qt::AlignRight, Qt::AlignBottom | Qt::AlignLeft,
                                     Qt::AlignBottom | Qt::AlignRight}) {
            plot->axisRect()->insetLayout()->setInsetAlignment(0, corner);
            plot->replot();
            window.machine->engineSpeed = 2000;
            ticksMatchAFullRedraw("legend moved", 2);
        }

        window.ui->verticalScrollBar_2->setValue(0); // no load: it speeds up from idle
        window.ui->pushButton_2->click();
        window.ui->pushButton->click();
        window.timer->stop();
        ticksMatchAFullRedraw("after Stop and Start", 2);

        // An engine held at idle keeps the point where it is: nothing to repaint.
        window.ui->verticalScrollBar->setValue(0);
        window.ui->verticalScrollBar_2->setValue(-20);
        window.machine->engineSpeed = 1000;
        window.drawPlot();
        screen();
        struct PaintCounter : QObject
        {
            int paints = 0;
            bool eventFilter(QObject *, QEvent *event) override
            {
                paints += event->type() == QEvent::Paint;
                return false;
            }
        } counter;
        plot->installEventFilter(&counter);
        for (int i = 0; i < 3; ++i)
            window.drawPlot();
        screen();
        QCOMPARE(counter.paints, 0);
        plot->replot(QCustomPlot::rpImmediateRefresh);
        QCOMPARE(counter.paints, 1);
    }

    // The readouts repaint only the digits that change; what reaches the
    // screen is what QLCDNumber paints afresh for the same values, including
    // a value that overflows (the digits stay) and a change of one digit.
    void readoutsShowWhatQLCDNumberShows()
    {
        WorkingDirectory dir;
        MainWindow window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        for (QLCDNumber *readout : {window.ui->lcdNumber_2, window.ui->lcdNumber_3}) {
            QLCDNumber fresh;
            fresh.resize(readout->size());
            for (double value : {0.0, -12.5, 1234.0, 1239.0, 12345.0, 99999.4, 123456.0, -0.001,
                                 3.14159, 1e10, 5000.0, 45.678}) {
                static_cast<LcdNumber *>(readout)->display(value);
                fresh.display(value);
                QCoreApplication::processEvents();
                const QImage shown =
                    window.screen()
                        ->grabWindow(window.winId())
                        .toImage()
                        .copy(QRect(readout->mapTo(&window, QPoint()), readout->size()))
                        .convertToFormat(QImage::Format_RGB32);
                QVERIFY2(shown == fresh.grab().toImage().convertToFormat(QImage::Format_RGB32),
                         qPrintable(QString::number(value)));
            }
        }
    }

    // Whatever is done to a readout, it shows what a plain QLCDNumber shows
    // after the same calls: random sequences of its calls, also through a
    // QLCDNumber pointer, colours of its own and from its parent, disabled,
    // style sheets, another style, sizes down to a few pixels, numbers that
    // overflow with a slot on overflow() doing what a slot may; both compared
    // on the screen after every step, and grabbed or rendered elsewhere.
    // CTest runs it on a screen scaled by 2 too.
    void readoutShowsWhatQLCDNumberShowsWhateverIsDone()
    {
        // Each in a window of its own, at the same place: antialiased edges
        // depend on where on the surface they fall. The offscreen platform
        // grabs a window of a scaled screen at its size in device pixels,
        // its top left only: the readouts, up to 340 by 230, stay within it.
        QWidget windows[2];
        QWidget *holders[2];
        for (int i = 0; i < 2; ++i) {
            windows[i].resize(720, 480);
            holders[i] = new QWidget(&windows[i]);
            holders[i]->resize(windows[i].size());
            windows[i].show();
            QVERIFY(QTest::qWaitForWindowExposed(&windows[i]));
        }
        QStyle *windowsStyle = QStyleFactory::create(QStringLiteral("Windows"));
        QVERIFY(windowsStyle);
        QRandomGenerator generator(20261209);
        const auto colour = [&generator] { return QColor::fromRgb(generator.generate()); };
        double last = 0;
        const auto number = [&]() -> double {
            switch (generator.bounded(7)) {
            case 0: return last;     // the same again
            case 1: return last + 1; // one digit changes
            case 2: return -double(generator.bounded(1000)) / 8;
            case 3: return std::pow(10.0, generator.bounded(-6, 12)) * 1.2345;
            case 4: return generator.bounded(2) ? 1e100 : -1e-100; // overflows any readout
            default: return double(generator.bounded(100000)) / 10;
            }
        };
        // One step, made on both readouts alike; `readout` is an LcdNumber
        // or a plain QLCDNumber, each called through its own class.
        const auto step = [&](int kind, auto *readout, double value, int count, QSize size,
                              const QPalette &palette) {
            switch (kind) {
            case 0: readout->display(value); break;
            case 1: readout->display(int(value)); break;
            case 2: readout->display(QString::number(value, 'f', 1)); break;
            case 3: readout->setDigitCount(count); break;
            case 4: readout->setMode(QLCDNumber::Mode(count % 4)); break;
            case 5: readout->setSmallDecimalPoint(count % 2 == 1); break;
            case 6: readout->setSegmentStyle(QLCDNumber::SegmentStyle(count % 3)); break;
            case 7:
                readout->setFrameStyle(
                    QList<int>({QFrame::Box | QFrame::Raised, QFrame::NoFrame,
                                QFrame::Panel | QFrame::Sunken, QFrame::StyledPanel})[count % 4]);
                readout->setLineWidth(count % 3);
                break;
            case 8: readout->resize(size); break;
            case 9: readout->setPalette(palette); break;
            case 10: readout->setEnabled(count % 2 == 1); break;
            case 11:
                readout->setStyleSheet(count % 2 ? QStringLiteral("color: red") : QString());
                break;
            case 12: readout->setStyle(windowsStyle); break;
            case 13: readout->setAutoFillBackground(count % 2 == 1); break;
            default: break; // a step on the parent alone
            }
            QLCDNumber *base = readout;
            switch (kind) {
            case 18: // the number on show, spelled otherwise, or no number
                base->display(count % 2 ? QString::number(last, 'e', 3) : QStringLiteral("HELLO"));
                break;
            case 19: // the digit count cut and restored before a paint
                base->setDigitCount(1);
                base->setDigitCount(count);
                break;
            case 20: base->display(value); break;
            default: break;
            }
        };
        // The readout painted onto another device: grabbed, or rendered
        // into an image of a colour of its own.
        const auto elsewhere = [](int kind, QLCDNumber *readout, QRgb fill) {
            if (kind == 21)
                return readout->grab().toImage();
            QImage image(readout->size(), QImage::Format_ARGB32_Premultiplied);
            image.fill(fill);
            readout->render(&image);
            return image;
        };
        for (int sequence = 0; sequence < 200; ++sequence) {
            for (QWidget *holder : holders) {
                holder->setPalette(QPalette());
                holder->setStyleSheet(QString());
                holder->setEnabled(true);
                qDeleteAll(holder->findChildren<QWidget *>(Qt::FindDirectChildrenOnly));
            }
            LcdNumber mine(holders[0]);
            QLCDNumber plain(holders[1]);
            // A slot on overflow() doing the same to each, or nothing.
            const int onOverflow = generator.bounded(5);
            const auto connectOverflow = [onOverflow](auto *readout) {
                QObject::connect(readout, &QLCDNumber::overflow, readout, [readout, onOverflow] {
                    QLCDNumber *base = readout;
                    switch (onOverflow) {
                    case 1: base->display(QStringLiteral("Err")); break;
                    case 2: base->display(0); break;
                    case 3: base->setDigitCount(base->digitCount() + 1); break;
                    case 4: readout->display(0.0); break; // through its own class
                    default: break;
                    }
                });
            };
            connectOverflow(&mine);
            connectOverflow(&plain);
            for (QLCDNumber *readout : {static_cast<QLCDNumber *>(&mine), &plain}) {
                readout->resize(131, 71);
                readout->show();
            }
            for (int i = 0; i < 10; ++i) {
                // Mostly new numbers, as a running readout gets them.
                const int kind = generator.bounded(3) != 0 ? 0 : generator.bounded(23);
                const double value = number();
                last = value;
                const int count = generator.bounded(1, 9);
                const QSize size(generator.bounded(3, 340), generator.bounded(3, 230));
                QPalette palette;
                palette.setColor(QPalette::WindowText, colour());
                palette.setColor(QPalette::Window, colour());
                palette.setColor(QPalette::Light, colour());
                for (QWidget *holder : holders) {
                    if (kind == 14)
                        holder->setPalette(palette);
                    else if (kind == 15)
                        holder->setEnabled(!holder->isEnabled());
                    else if (kind == 16)
                        holder->setStyleSheet(
                            QStringLiteral("background: #%1").arg(count * 111111));
                }
                if (kind == 17) // a widget below each, reaching into it
                    for (const QLCDNumber *readout : {static_cast<QLCDNumber *>(&mine), &plain}) {
                        auto *below = new QWidget(readout->parentWidget());
                        below->setAutoFillBackground(true);
                        below->setPalette(palette);
                        below->setGeometry(
                            QRect(readout->pos(), size / 4).translated(count, count));
                        below->lower();
                        below->show();
                    }
                step(kind, &mine, value, count, size, palette);
                step(kind, &plain, value, count, size, palette);
                QCoreApplication::processEvents();
                const auto onScreen = [](const QLCDNumber &readout) { // in device pixels
                    QWidget *window = readout.window();
                    const QImage screen = window->screen()->grabWindow(window->winId()).toImage();
                    const qreal ratio = screen.devicePixelRatio();
                    return screen.copy(
                        QRectF(QPointF(readout.pos()) * ratio, QSizeF(readout.size()) * ratio)
                            .toRect());
                };
                const QString what =
                    QStringLiteral("sequence %1, step %2 (%3)").arg(sequence).arg(i).arg(kind);
                QVERIFY2(onScreen(mine) == onScreen(plain), qPrintable(what));
                if (kind >= 21) {
                    const QRgb fill = colour().rgb();
                    QVERIFY2(elsewhere(kind, &mine, fill) == elsewhere(kind, &plain, fill),
                             qPrintable(what));
                }
            }
        }
        delete windowsStyle;
    }
};

QTEST_MAIN(TestRunLoop)
#include "tst_runloop.moc"
