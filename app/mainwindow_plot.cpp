// The curve plot of the main window: its set-up, and the slots that react to
// the user's selecting, dragging, zooming and renaming on it.
#include "mainwindow.h"

#include "machineformath.h"
#include "ui_mainwindow.h"

#include <QInputDialog>
#include <QMenu>

const QString MainWindow::LiveLayer = QStringLiteral("live");

namespace {
const QCPAxis::SelectableParts LineAndTickLabels = QCPAxis::spAxis | QCPAxis::spTickLabels;

bool lineOrTickLabelsSelected(const QCPAxis *axis)
{
    return axis->selectedParts() & LineAndTickLabels;
}

// A selected bottom or left axis (and so its partner) narrows dragging and
// zooming to its own orientation; they still act on the bottom and left axes.
Qt::Orientations orientationsOfSelectedAxis(const QCustomPlot *plot)
{
    if (plot->xAxis->selectedParts().testFlag(QCPAxis::spAxis))
        return plot->xAxis->orientation();
    if (plot->yAxis->selectedParts().testFlag(QCPAxis::spAxis))
        return plot->yAxis->orientation();
    return Qt::Horizontal | Qt::Vertical;
}

// Legend position codes carried by the context menu's entries, as alignments
// inside the axis rectangle. Code 0 (a manual position) has no alignment.
Qt::Alignment legendAlignment(int code)
{
    switch (code) {
    case 1: return Qt::AlignTop | Qt::AlignLeft;
    case 2: return Qt::AlignTop | Qt::AlignHCenter;
    case 3: return Qt::AlignTop | Qt::AlignRight;
    case 4: return Qt::AlignVCenter | Qt::AlignRight;
    case 5: return Qt::AlignBottom | Qt::AlignRight;
    case 6: return Qt::AlignBottom | Qt::AlignHCenter;
    case 7: return Qt::AlignBottom | Qt::AlignLeft;
    case 8: return Qt::AlignVCenter | Qt::AlignLeft;
    default: return {};
    }
}

// Asks for a new text in the plot's rename dialog, starting from the current
// one; false when the user cancels.
bool askForText(QWidget *parent, const QString &prompt, QString &text)
{
    bool ok = false;
    const QString entered = QInputDialog::getText(parent, QStringLiteral("QCustomPlot"), prompt,
                                                  QLineEdit::Normal, text, &ok);
    if (ok)
        text = entered;
    return ok;
}

// Whether a graph holds exactly these points, in this order.
bool holdsPoints(const QCPGraph *graph, const QVector<double> &keys, const QVector<double> &values)
{
    const QSharedPointer<QCPGraphDataContainer> data = graph->data();
    if (data->size() != keys.size() || values.size() != keys.size())
        return false;
    qsizetype i = 0;
    for (const QCPGraphData &point : *data) {
        if (point.key != keys[i] || point.value != values[i])
            return false;
        ++i;
    }
    return true;
}

// The plotting library redraws a single layer only through QCPLayer::replot(),
// which then has the whole plot repainted. A tick needs less, so these two
// reach the protected parts that replot() itself uses: whether every paint
// buffer is up to date (and no full redraw is queued), and a layer's own
// buffer and drawing. The first also drops a queued redraw.
struct PlotInternals : QCustomPlot
{
    static void dropQueuedReplot(QCustomPlot *plot)
    {
        QCoreApplication::removePostedEvents(plot, QEvent::MetaCall);
        plot->*(&PlotInternals::mReplotQueued) = false;
    }
    static bool buffersUpToDate(QCustomPlot *plot)
    {
        return !(plot->*(&PlotInternals::hasInvalidatedPaintBuffers))()
               && !(plot->*(&PlotInternals::mReplotQueued));
    }
};

struct LayerInternals : QCPLayer
{
    static QSharedPointer<QCPAbstractPaintBuffer> buffer(QCPLayer *layer)
    {
        return (layer->*(&LayerInternals::mPaintBuffer)).toStrongRef();
    }
    static void drawWith(QCPLayer *layer, QCPPainter *painter)
    {
        (layer->*(&LayerInternals::draw))(painter);
    }
};

} // namespace

// The title is the plot layout's first row, put there by setUpPlotAxes().
QCPTextElement *MainWindow::plotTitle() const
{
    return qobject_cast<QCPTextElement *>(plot->plotLayout()->element(0, 0));
}

// Where a graph is drawn, in plot pixels: around its points and the lines
// between them, grown by its marker, the widest pen it may be drawn with
// (its own, or the selection's) and a pixel of antialiasing, and cut to the
// area the graph is clipped to.
QRect MainWindow::paintedArea(const QCPGraph *graph)
{
    const QSharedPointer<QCPGraphDataContainer> data = graph->data();
    if (data->isEmpty())
        return {};
    double left = qInf(), top = qInf(), right = -qInf(), bottom = -qInf();
    for (const QCPGraphData &point : *data) {
        const QPointF pixel = graph->coordsToPixels(point.key, point.value);
        left = qMin(left, pixel.x());
        right = qMax(right, pixel.x());
        top = qMin(top, pixel.y());
        bottom = qMax(bottom, pixel.y());
    }
    const double pen =
        qMax(qMax(graph->pen().widthF(), graph->scatterStyle().pen().widthF()),
             graph->selectionDecorator() ? graph->selectionDecorator()->pen().widthF() : 0.0);
    const double grow = graph->scatterStyle().size() / 2 + pen + 2;
    const QRectF clip = QRectF(graph->keyAxis()->axisRect()->rect().adjusted(-1, -2, 1, 1));
    const QRectF area =
        QRectF(QPointF(left, top), QPointF(right, bottom)).adjusted(-grow, -grow, grow, grow);
    return (area & clip).toAlignedRect();
}

// Hands the model's live point to graph 2 and repaints only what changed:
// nothing when the point stays where it was (an engine held at idle), and
// otherwise the live graph's own layer, and only the region, where it was and
// where it is now. Whenever anything else is out of date (a drag, zoom,
// rename or selection, Start, Stop, a resized buffer), the library has
// invalidated a buffer or queued a redraw, and the whole plot is redrawn as
// its own layer redraw would do.
void MainWindow::showLivePoint()
{
    QCPGraph *live = plot->graph(2);
    QCPLayer *layer = live->layer();
    const QSharedPointer<QCPAbstractPaintBuffer> buffer = LayerInternals::buffer(layer);
    if (!buffer || layer->mode() != QCPLayer::lmBuffered || !PlotInternals::buffersUpToDate(plot)) {
        live->setData(machine->liveRpm, machine->livePower);
        plot->replot();
        return;
    }
    if (holdsPoints(live, machine->liveRpm, machine->livePower))
        return;
    const QRect before = paintedArea(live);
    live->setData(machine->liveRpm, machine->livePower);
    const QRect dirty = before | paintedArea(live);
    // The layer holds the live graph alone, so clearing where it was drawn
    // leaves the buffer as clear as a fresh one.
    QCPPainter *painter = buffer->startPainting();
    painter->setCompositionMode(QPainter::CompositionMode_Source);
    painter->fillRect(dirty, Qt::transparent);
    painter->setCompositionMode(QPainter::CompositionMode_SourceOver);
    LayerInternals::drawWith(layer, painter);
    delete painter;
    buffer->donePainting();
    buffer->setInvalidated(false);
    plot->update(dirty);
}

void MainWindow::setUpPlotAxes()
{
    // The library queues a redraw from its constructor. Showing the window
    // redraws the plot at its size before the first paint, so that one is
    // dropped: the first picture costs one redraw, with both curves.
    PlotInternals::dropQueuedReplot(plot);
    plot->setInteractions(QCP::iRangeDrag | QCP::iRangeZoom | QCP::iSelectPlottables
                          | QCP::iSelectAxes | QCP::iSelectLegend | QCP::iSelectOther);
    plot->axisRect()->setRangeDrag(Qt::Horizontal | Qt::Vertical);
    plot->axisRect()->setRangeZoom(Qt::Horizontal | Qt::Vertical);
    plot->axisRect()->setAutoMargins(QCP::msAll);
    plot->xAxis->setRange(0, 5500);
    plot->yAxis->setRange(0, 100);
    // Ticks and tick labels are automatic with the library's default ticker.
    plot->yAxis2->setVisible(true);
    plot->yAxis2->setRange(0, 275);

    plot->plotLayout()->insertRow(0);
    auto *title = new QCPTextElement(plot, tr("Momentti- ja voimakäyrät"),
                                     QFont(plot->font().family(), 14, QFont::Bold));
    title->setSelectable(true);
    plot->plotLayout()->addElement(0, 0, title);

    plot->xAxis->setLabel(QStringLiteral("Kierrosluku - RPM"));
    plot->yAxis->setLabel(QStringLiteral("Teho - kW"));
    plot->yAxis2->setLabel(tr("Vääntömomentti - Nm"));
    plot->xAxis2->setLabel(QStringLiteral("x Axis2"));

    plot->legend->setVisible(true);
    QFont legendFont = font();
    legendFont.setPointSize(10);
    plot->legend->setFont(legendFont);
    plot->legend->setSelectedFont(legendFont);
    plot->legend->setSelectableParts(QCPLegend::spItems);
    plot->axisRect()->insetLayout()->setInsetAlignment(0, Qt::AlignBottom | Qt::AlignRight);

    // The live graph gets a layer of its own right above the curves, in the
    // same drawing order as if it were drawn with them. It gets a paint
    // buffer of its own when the run starts; until then the whole plot, the
    // library's empty overlay included, is drawn into one buffer, which is
    // quicker to make, fill and paint. Adding a layer makes the buffers, so
    // the plot is told its size first: they are made once, at that size.
    plot->layer(QStringLiteral("overlay"))->setMode(QCPLayer::lmLogical);
    plot->setViewport(plot->rect());
    plot->addLayer(LiveLayer, plot->layer(QStringLiteral("main")), QCustomPlot::limAbove);
}

void MainWindow::setUpPlotCurves(const QPen &powerPen, const QPen &torquePen)
{
    // The curves' keys run up one rpm at a time: the library need not sort them.
    QCPGraph *power = plot->addGraph(plot->xAxis, plot->yAxis);
    power->setName(QStringLiteral("PowerCurve"));
    power->setData(machine->rpmKeys, machine->powerCurve, true);
    power->setLineStyle(QCPGraph::lsLine);
    power->setScatterStyle(QCPScatterStyle::ssDot);
    power->setPen(powerPen);

    QCPGraph *torque = plot->addGraph(plot->xAxis, plot->yAxis2);
    torque->setName(QStringLiteral("TorqueCurve"));
    // The table runs on to 5799 rpm; only the entries that have a key are drawn.
    torque->setData(machine->rpmKeys, machine->torqueTable.mid(0, machine->rpmKeys.size()), true);
    torque->setLineStyle(QCPGraph::lsLine);
    torque->setScatterStyle(QCPScatterStyle::ssDot);
    torque->setPen(torquePen);
}

// Axes are selected in pairs (bottom with top, left with right), each with its
// line and tick labels together; a graph and its legend entry go together.
void MainWindow::selectionChanged()
{
    if (lineOrTickLabelsSelected(plot->xAxis) || lineOrTickLabelsSelected(plot->xAxis2)) {
        plot->xAxis2->setSelectedParts(LineAndTickLabels);
        plot->xAxis->setSelectedParts(LineAndTickLabels);
    }
    if (lineOrTickLabelsSelected(plot->yAxis) || lineOrTickLabelsSelected(plot->yAxis2)) {
        plot->yAxis2->setSelectedParts(LineAndTickLabels);
        plot->yAxis->setSelectedParts(LineAndTickLabels);
    }
    for (int i = 0; i < plot->graphCount(); ++i) {
        QCPGraph *graph = plot->graph(i);
        QCPPlottableLegendItem *item = plot->legend->itemWithPlottable(graph);
        if (item && (item->selected() || graph->selected())) {
            item->setSelected(true);
            graph->setSelection(QCPDataSelection(graph->data()->dataRange()));
        }
    }
}

void MainWindow::mousePress()
{
    plot->axisRect()->setRangeDrag(orientationsOfSelectedAxis(plot));
}

void MainWindow::mouseWheel()
{
    plot->axisRect()->setRangeZoom(orientationsOfSelectedAxis(plot));
}

void MainWindow::graphClicked(QCPAbstractPlottable *plottable)
{
    ui->statusBar->showMessage(QStringLiteral("Clicked on graph '%1'.").arg(plottable->name()),
                               1000);
}

void MainWindow::titleDoubleClick()
{
    QCPTextElement *title = plotTitle();
    QString text = title->text();
    if (!askForText(this, QStringLiteral("New plot title:"), text))
        return;
    title->setText(text);
    plot->replot();
}

void MainWindow::axisLabelDoubleClick(QCPAxis *axis, QCPAxis::SelectablePart part)
{
    if (part != QCPAxis::spAxisLabel)
        return;
    QString text = axis->label();
    if (!askForText(this, QStringLiteral("New axis label:"), text))
        return;
    axis->setLabel(text);
    plot->replot();
}

void MainWindow::legendDoubleClick(QCPLegend *legend, QCPAbstractLegendItem *item)
{
    Q_UNUSED(legend)
    auto *graphItem = qobject_cast<QCPPlottableLegendItem *>(item);
    if (!graphItem)
        return;
    QCPAbstractPlottable *graph = graphItem->plottable();
    QString name = graph->name();
    if (!askForText(this, QStringLiteral("New graph name:"), name))
        return;
    graph->setName(name);
    plot->replot();
}

void MainWindow::contextMenuRequest(QPoint pos)
{
    if (plot->legend->selectTest(QPointF(pos), false) < 0)
        return;

    auto *menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    const struct
    {
        const char *text;
        int code;
    } entries[] = {
        {"Move to top left", 1},     {"Move to top center", 2},  {"Move to top right", 3},
        {"Move to bottom right", 5}, {"Move to bottom left", 7},
    };
    for (const auto &entry : entries)
        menu->addAction(QString::fromLatin1(entry.text), this, &MainWindow::moveLegend)
            ->setData(entry.code);
    menu->popup(plot->mapToGlobal(pos));
}

void MainWindow::moveLegend()
{
    auto *action = qobject_cast<QAction *>(sender());
    bool ok = false;
    const int code = action ? action->data().toInt(&ok) : 0;
    const Qt::Alignment alignment = legendAlignment(code);
    if (!ok || !alignment)
        return;
    plot->axisRect()->insetLayout()->setInsetAlignment(0, alignment);
    plot->replot();
}
