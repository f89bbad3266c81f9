#include "machineformath.h"
#include "mainwindow.h"
#include "testsupport.h"
#include "ui_mainwindow.h"

#include <QInputDialog>
#include <QMenu>
#include <QPointer>

namespace {

const QCPAxis::SelectableParts LineAndTickLabels = QCPAxis::spAxis | QCPAxis::spTickLabels;

// A pixel of the plot where `axis` has `part`, found by walking outwards from
// the middle of the axis.
QPoint pointOn(QCPAxis *axis, QCPAxis::SelectablePart part)
{
    const QRect rect = axis->axisRect()->rect();
    for (int offset = -2; offset < 80; ++offset) {
        QPoint p;
        switch (axis->axisType()) {
        case QCPAxis::atBottom: p = {rect.center().x(), rect.bottom() + offset}; break;
        case QCPAxis::atTop: p = {rect.center().x(), rect.top() - offset}; break;
        case QCPAxis::atLeft: p = {rect.left() - offset, rect.center().y()}; break;
        case QCPAxis::atRight: p = {rect.right() + offset, rect.center().y()}; break;
        }
        if (axis->getPartAt(p) == part)
            return p;
    }
    qFatal("no such part on the axis");
}

QPoint pointOnCurve(QCustomPlot *plot, int graph, double rpm)
{
    QCPGraph *g = plot->graph(graph);
    const double value = g->data()->findBegin(rpm)->value;
    return QPointF(g->keyAxis()->coordToPixel(rpm), g->valueAxis()->coordToPixel(value)).toPoint();
}

QPoint legendEntry(QCustomPlot *plot, int index)
{
    return plot->legend->item(index)->rect().center();
}

// Answers every input dialog that `action` opens with `answer`; returns the
// prompts and initial texts seen, one "prompt|text" per dialog.
QStringList answerDialogs(const std::function<void()> &action,
                          const std::function<void(QInputDialog *)> &answer)
{
    QStringList seen;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&]() {
        if (auto *dialog = qobject_cast<QInputDialog *>(QApplication::activeModalWidget())) {
            QCOMPARE(dialog->windowTitle(), QStringLiteral("QCustomPlot"));
            QCOMPARE(dialog->textEchoMode(), QLineEdit::Normal);
            seen << dialog->labelText() + '|' + dialog->textValue();
            answer(dialog);
        }
    });
    poll.start(10);
    action();
    QTest::qWait(50);
    return seen;
}

void rename(QInputDialog *dialog, const QString &text)
{
    dialog->setTextValue(text);
    dialog->accept();
}

void sendWheel(QWidget *widget, QPoint at, int delta)
{
    QWheelEvent event(at, widget->mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(widget, &event);
}

// A right click as the window system delivers it: the press, then the
// context-menu request that the plot's custom policy turns into a signal.
void rightClick(QWidget *widget, QPoint at)
{
    QTest::mouseClick(widget, Qt::RightButton, {}, at);
    QContextMenuEvent event(QContextMenuEvent::Mouse, at, widget->mapToGlobal(at));
    QApplication::sendEvent(widget, &event);
}

QMenu *visibleMenu(QWidget *window)
{
    for (QMenu *menu : window->findChildren<QMenu *>(QString(), Qt::FindDirectChildrenOnly))
        if (menu->isVisible())
            return menu;
    return nullptr;
}

void drag(QWidget *widget, QPoint from, QPoint to)
{
    QTest::mousePress(widget, Qt::LeftButton, {}, from);
    QTest::mouseMove(widget, (from + to) / 2);
    QTest::mouseMove(widget, to);
    QTest::mouseRelease(widget, Qt::LeftButton, {}, to);
}

} // namespace

class TestPlotInteraction : public QObject
{
    Q_OBJECT

private:
    WorkingDirectory *dir = nullptr;
    MainWindow *window = nullptr;
    QCustomPlot *plot = nullptr;

    // Lets the double-click timer of the platform run out between clicks.
    static void pause() { QTest::qWait(QApplication::doubleClickInterval() + 50); }

    void click(QPoint at, Qt::MouseButton button = Qt::LeftButton)
    {
        QTest::mouseClick(plot, button, {}, at);
        pause();
    }

private slots:
    void init()
    {
        dir = new WorkingDirectory;
        window = new MainWindow;
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        plot = window->plot;
        plot->replot(QCustomPlot::rpImmediateRefresh);
    }

    void cleanup()
    {
        delete window;
        delete dir;
    }

    void clickingTickLabelsSelectsTheAxisPair()
    {
        click(pointOn(plot->xAxis, QCPAxis::spTickLabels));
        QCOMPARE(plot->xAxis->selectedParts(), LineAndTickLabels);
        QCOMPARE(plot->xAxis2->selectedParts(), LineAndTickLabels);
        QCOMPARE(plot->yAxis->selectedParts(), QCPAxis::SelectableParts(QCPAxis::spNone));

        // An axis label is selected on its own.
        click(pointOn(plot->yAxis, QCPAxis::spAxisLabel));
        QCOMPARE(plot->yAxis->selectedParts(), QCPAxis::SelectableParts(QCPAxis::spAxisLabel));
        QCOMPARE(plot->yAxis2->selectedParts(), QCPAxis::SelectableParts(QCPAxis::spNone));
        QCOMPARE(plot->xAxis->selectedParts(), QCPAxis::SelectableParts(QCPAxis::spNone));
    }

    void selectedRightAxisNarrowsDragToVerticalOnThePowerAxis()
    {
        click(pointOn(plot->yAxis2, QCPAxis::spAxis));
        QCOMPARE(plot->yAxis2->selectedParts(), LineAndTickLabels);
        QCOMPARE(plot->yAxis->selectedParts(), LineAndTickLabels);

        const QPoint centre = plot->axisRect()->rect().center();
        drag(plot, centre, centre + QPoint(60, 40));
        QCOMPARE(plot->axisRect()->rangeDrag(), Qt::Vertical);
        QCOMPARE(plot->xAxis->range(), QCPRange(0, 5500));
        QVERIFY(plot->yAxis->range().lower > 0);
        QCOMPARE(plot->yAxis2->range(), QCPRange(0, 275));

        sendWheel(plot, centre, 120);
        QCOMPARE(plot->axisRect()->rangeZoom(), Qt::Vertical);
        QCOMPARE(plot->xAxis->range(), QCPRange(0, 5500));
        QCOMPARE(plot->yAxis2->range(), QCPRange(0, 275));
    }

    void selectedBottomAxisNarrowsDragToHorizontal()
    {
        click(pointOn(plot->xAxis, QCPAxis::spAxis));
        const QPoint centre = plot->axisRect()->rect().center();
        drag(plot, centre, centre + QPoint(60, 40));
        QCOMPARE(plot->axisRect()->rangeDrag(), Qt::Horizontal);
        QVERIFY(plot->xAxis->range().lower < 0);
        QCOMPARE(plot->yAxis->range(), QCPRange(0, 100));
    }

    void withNothingSelectedDragAndWheelActInBothDirections()
    {
        const QPoint centre = plot->axisRect()->rect().center();
        drag(plot, centre, centre + QPoint(60, 40));
        QCOMPARE(plot->axisRect()->rangeDrag(), Qt::Horizontal | Qt::Vertical);
        QVERIFY(plot->xAxis->range().lower < 0);
        QVERIFY(plot->yAxis->range().lower > 0);
        QCOMPARE(plot->yAxis2->range(), QCPRange(0, 275));

        const double xSpan = plot->xAxis->range().size();
        const double ySpan = plot->yAxis->range().size();
        sendWheel(plot, centre, 120);
        QCOMPARE(plot->axisRect()->rangeZoom(), Qt::Horizontal | Qt::Vertical);
        QVERIFY(plot->xAxis->range().size() < xSpan);
        QVERIFY(plot->yAxis->range().size() < ySpan);
        QCOMPARE(plot->yAxis2->range(), QCPRange(0, 275));
    }

    void graphAndLegendEntryAreSelectedTogether()
    {
        click(legendEntry(plot, 1));
        QVERIFY(plot->legend->item(1)->selected());
        QVERIFY(plot->graph(1)->selected());
        QVERIFY(!plot->graph(0)->selected());

        click(pointOnCurve(plot, 0, 3000));
        QVERIFY(plot->graph(0)->selected());
        QVERIFY(plot->legend->item(0)->selected());
        QVERIFY(!plot->legend->item(1)->selected());
        QVERIFY(!plot->graph(1)->selected());
    }

    void clickedGraphIsNamedInTheStatusBarForASecond()
    {
        QTest::mouseClick(plot, Qt::LeftButton, {}, pointOnCurve(plot, 0, 3000));
        QCOMPARE(window->statusBar()->currentMessage(),
                 QStringLiteral("Clicked on graph 'PowerCurve'."));
        QTest::qWait(500);
        QCOMPARE(window->statusBar()->currentMessage(),
                 QStringLiteral("Clicked on graph 'PowerCurve'."));
        QTRY_COMPARE_WITH_TIMEOUT(window->statusBar()->currentMessage(), QString(), 2000);
    }

    void axisLabelsAreRenamedOnlyFromTheLabel()
    {
        const auto accept = [](QInputDialog *d) { rename(d, QStringLiteral("Power")); };
        QCOMPARE(answerDialogs(
                     [&] {
                         QTest::mouseDClick(plot, Qt::LeftButton, {},
                                            pointOn(plot->yAxis, QCPAxis::spTickLabels));
                     },
                     accept),
                 QStringList());
        pause();
        QCOMPARE(answerDialogs(
                     [&] {
                         QTest::mouseDClick(plot, Qt::LeftButton, {},
                                            pointOn(plot->yAxis, QCPAxis::spAxis));
                     },
                     accept),
                 QStringList());
        pause();
        QCOMPARE(plot->yAxis->label(), QStringLiteral("Teho - kW"));

        const QPoint label = pointOn(plot->yAxis, QCPAxis::spAxisLabel);
        QCOMPARE(answerDialogs([&] { QTest::mouseDClick(plot, Qt::LeftButton, {}, label); },
                               [](QInputDialog *d) {
                                   d->setTextValue("ignored");
                                   d->reject();
                               }),
                 QStringList({"New axis label:|Teho - kW"}));
        QCOMPARE(plot->yAxis->label(), QStringLiteral("Teho - kW"));
        pause();
        QCOMPARE(
            answerDialogs([&] { QTest::mouseDClick(plot, Qt::LeftButton, {}, label); }, accept),
            QStringList({"New axis label:|Teho - kW"}));
        QCOMPARE(plot->yAxis->label(), QStringLiteral("Power"));
        pause();
        // An empty text is accepted too.
        const QPoint torqueLabel = pointOn(plot->yAxis2, QCPAxis::spAxisLabel);
        answerDialogs([&] { QTest::mouseDClick(plot, Qt::LeftButton, {}, torqueLabel); },
                      [](QInputDialog *d) { rename(d, QString()); });
        QCOMPARE(plot->yAxis2->label(), QString());
    }

    void titleIsRenamedByDoubleClick()
    {
        auto *title = qobject_cast<QCPTextElement *>(plot->plotLayout()->element(0, 0));
        const QPoint at = title->rect().center();
        QCOMPARE(answerDialogs([&] { QTest::mouseDClick(plot, Qt::LeftButton, {}, at); },
                               [](QInputDialog *d) { rename(d, QStringLiteral("Käyrät")); }),
                 QStringList({"New plot title:|Momentti- ja voimakäyrät"}));
        QCOMPARE(title->text(), QStringLiteral("Käyrät"));
    }

    void legendEntriesAreRenamedButNotTheFrame()
    {
        const QPoint frame = plot->legend->outerRect().topLeft() + QPoint(2, 2);
        QVERIFY(plot->legend->selectTest(frame, false) >= 0);
        QCOMPARE(answerDialogs([&] { QTest::mouseDClick(plot, Qt::LeftButton, {}, frame); },
                               [](QInputDialog *d) { rename(d, "x"); }),
                 QStringList());
        pause();

        QCOMPARE(answerDialogs(
                     [&] { QTest::mouseDClick(plot, Qt::LeftButton, {}, legendEntry(plot, 1)); },
                     [](QInputDialog *d) { d->reject(); }),
                 QStringList({"New graph name:|TorqueCurve"}));
        QCOMPARE(plot->graph(1)->name(), QStringLiteral("TorqueCurve"));
        pause();
        answerDialogs([&] { QTest::mouseDClick(plot, Qt::LeftButton, {}, legendEntry(plot, 1)); },
                      [](QInputDialog *d) { rename(d, QStringLiteral("Vääntö")); });
        QCOMPARE(plot->graph(1)->name(), QStringLiteral("Vääntö"));
        auto *entry = qobject_cast<QCPPlottableLegendItem *>(plot->legend->item(1));
        QCOMPARE(entry->plottable(), plot->graph(1));
    }

    void renamingDuringARunKeepsTheLiveGraphMoving()
    {
        window->machine->getData(1000, 2550, 373, 6000, 350, 210, 140, 100, 80);
        window->ui->verticalScrollBar->setValue(-100);
        window->ui->pushButton->click();
        double speedWhenOpened = 0;
        answerDialogs([&] { QTest::mouseDClick(plot, Qt::LeftButton, {}, legendEntry(plot, 0)); },
                      [&](QInputDialog *d) {
                          speedWhenOpened = window->machine->engineSpeed;
                          QTest::qWait(200);
                          QVERIFY(window->machine->engineSpeed > speedWhenOpened);
                          QCOMPARE(plot->graph(2)->data()->at(0)->key,
                                   window->machine->engineSpeed);
                          rename(d, QStringLiteral("Teho"));
                      });
        QVERIFY(speedWhenOpened > 0);
        QCOMPARE(plot->graph(0)->name(), QStringLiteral("Teho"));
        QVERIFY(window->timer->isActive());
        window->ui->pushButton_2->click();
    }

    void legendMenuOffersFivePositions()
    {
        // No menu outside the legend.
        rightClick(plot, plot->axisRect()->rect().center());
        QVERIFY(!visibleMenu(window));

        rightClick(plot, legendEntry(plot, 0));
        QPointer<QMenu> menu = visibleMenu(window);
        QVERIFY(menu);
        QStringList texts;
        QList<int> codes;
        for (QAction *action : menu->actions()) {
            texts << action->text();
            codes << action->data().toInt();
            QVERIFY(action->shortcut().isEmpty());
        }
        QCOMPARE(texts, QStringList({"Move to top left", "Move to top center", "Move to top right",
                                     "Move to bottom right", "Move to bottom left"}));
        QCOMPARE(codes, QList<int>({1, 2, 3, 5, 7}));

        menu->actions().first()->trigger();
        menu->close();
        QTRY_VERIFY(menu.isNull()); // the menu deletes itself once closed
        QCOMPARE(plot->axisRect()->insetLayout()->insetAlignment(0), Qt::AlignTop | Qt::AlignLeft);
        const QRect area = plot->axisRect()->rect();
        const QRect legend = plot->legend->outerRect();
        QVERIFY(legend.left() - area.left() < 20 && legend.top() - area.top() < 20);
    }

    // Any action data that reads as a position code moves the legend.
    void moveLegendTakesActionDataThatReadsAsAnInteger()
    {
        const Qt::Alignment before = plot->axisRect()->insetLayout()->insetAlignment(0);
        window->moveLegend(); // no sender
        QAction action(QStringLiteral("entry"));
        connect(&action, &QAction::triggered, window, &MainWindow::moveLegend);
        for (const QVariant &ignored : {QVariant(QStringLiteral("top")), QVariant(), QVariant(9)}) {
            action.setData(ignored);
            action.trigger();
            QCOMPARE(plot->axisRect()->insetLayout()->insetAlignment(0), before);
        }
        action.setData(QStringLiteral("1"));
        action.trigger();
        QCOMPARE(plot->axisRect()->insetLayout()->insetAlignment(0), Qt::AlignTop | Qt::AlignLeft);
        action.setData(2);
        action.trigger();
        QCOMPARE(plot->axisRect()->insetLayout()->insetAlignment(0),
                 Qt::AlignTop | Qt::AlignHCenter);
    }
};

QTEST_MAIN(TestPlotInteraction)
#include "tst_plotinteraction.moc"
