#include "accessibility.h"

#include "lcdnumber.h"

#include <QAccessibleWidget>
#include <QApplication>
#include <QLabel>
#include <QScrollBar>
#include <QStatusBar>

#include <qcustomplot.h>

namespace {

// A readout is announced by its caption, where it has one, and the number
// on show: "RPM 3457". Qt would say the caption alone.
class ReadoutInterface : public QAccessibleWidget
{
public:
    explicit ReadoutInterface(LcdNumber *readout)
        : QAccessibleWidget(readout, QAccessible::StaticText)
    {}

    QString text(QAccessible::Text kind) const override
    {
        if (kind != QAccessible::Name)
            return QAccessibleWidget::text(kind);
        const auto *readout = static_cast<const LcdNumber *>(widget());
        const QString caption = readout->accessibleName();
        const QString number = readout->shownText();
        return caption.isEmpty() ? number : caption + QLatin1Char(' ') + number;
    }
};

// A label that captions a readout (the readout is its buddy) has no name of
// its own: the readout says the caption with its number, and a screen
// reader reviewing the window says it once, wherever it puts each on a line.
class CaptionInterface : public QAccessibleWidget
{
public:
    explicit CaptionInterface(QLabel *label) : QAccessibleWidget(label, QAccessible::StaticText) {}

    QString text(QAccessible::Text kind) const override
    {
        return kind == QAccessible::Name ? QString() : QAccessibleWidget::text(kind);
    }
};

// A scroll bar whose value the user sees negated: its value, range, steps
// and actions as they are on the screen, so that "increase" moves it up.
class NegatedScrollBarInterface : public QAccessibleWidget, public QAccessibleValueInterface
{
public:
    explicit NegatedScrollBarInterface(QScrollBar *bar)
        : QAccessibleWidget(bar, QAccessible::ScrollBar)
    {}

    void *interface_cast(QAccessible::InterfaceType type) override
    {
        if (type == QAccessible::ValueInterface)
            return static_cast<QAccessibleValueInterface *>(this);
        return QAccessibleWidget::interface_cast(type);
    }

    QString text(QAccessible::Text kind) const override
    {
        if (kind == QAccessible::Value)
            return QString::number(-bar()->value());
        return QAccessibleWidget::text(kind);
    }

    QVariant currentValue() const override { return -bar()->value(); }
    void setCurrentValue(const QVariant &value) override { bar()->setValue(-value.toInt()); }
    QVariant maximumValue() const override { return -bar()->minimum(); }
    QVariant minimumValue() const override { return -bar()->maximum(); }
    QVariant minimumStepSize() const override { return bar()->singleStep(); }

    QStringList actionNames() const override
    {
        return QAccessibleWidget::actionNames() << increaseAction() << decreaseAction();
    }

    void doAction(const QString &name) override
    {
        if (name == increaseAction())
            bar()->triggerAction(QAbstractSlider::SliderSingleStepSub);
        else if (name == decreaseAction())
            bar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
        else
            QAccessibleWidget::doAction(name);
    }

private:
    QScrollBar *bar() const { return static_cast<QScrollBar *>(widget()); }
};

// Marks the widget that stands for the status bar's message.
constexpr char Message[] = "statusMessage";

QAccessibleInterface *interfaceFor(const QString &, QObject *object)
{
    if (auto *readout = qobject_cast<LcdNumber *>(object))
        return new ReadoutInterface(readout);
    if (auto *label = qobject_cast<QLabel *>(object);
        label && qobject_cast<LcdNumber *>(label->buddy()))
        return new CaptionInterface(label);
    if (auto *bar = qobject_cast<QScrollBar *>(object);
        bar && bar->property(Accessibility::NegatedValue).toBool())
        return new NegatedScrollBarInterface(bar);
    if (auto *plot = qobject_cast<QCustomPlot *>(object))
        return new QAccessibleWidget(plot, QAccessible::Chart);
    if (auto *widget = qobject_cast<QWidget *>(object);
        widget && widget->property(Message).toBool())
        return new QAccessibleWidget(widget, QAccessible::Notification);
    return nullptr;
}

} // namespace

void Accessibility::install()
{
    static const bool installed = [] {
        QAccessible::installFactory(interfaceFor);
        return true;
    }();
    Q_UNUSED(installed)
}

namespace {

// An empty widget of no size in `parent` that stands for a message: shown
// afresh with each message as its name, it makes the accessibility bus tell
// of a notification showing, which Orca speaks.
QWidget *messageIn(QWidget *parent)
{
    for (QWidget *child : parent->findChildren<QWidget *>(Qt::FindDirectChildrenOnly))
        if (child->property(Message).toBool())
            return child;
    auto *message = new QWidget(parent);
    message->setProperty(Message, true);
    // Its interface may have been made as it was created, before it was
    // marked: it is made anew.
    QAccessible::deleteAccessibleInterface(
        QAccessible::uniqueId(QAccessible::queryAccessibleInterface(message)));
    message->setGeometry(0, 0, 0, 0);
    message->hide();
    return message;
}

} // namespace

void Accessibility::announce(QWidget *parent, const QString &text)
{
    QWidget *message = messageIn(parent);
    message->hide();
    message->setAccessibleName(text);
    message->setVisible(!text.isEmpty());
}

void Accessibility::announceMessages(QStatusBar *bar)
{
    // The status bar paints its messages itself; a message widget stands
    // for them.
    QWidget *message = messageIn(bar);
    QObject::connect(bar, &QStatusBar::messageChanged, message,
                     [bar](const QString &text) { announce(bar, text); });
    // A message shown before the window first had the focus (the launcher's
    // notice at start) goes by unheard: it is told again once it has it.
    QObject::connect(
        qApp, &QGuiApplication::focusWindowChanged, message,
        [message](QWindow *focused) {
            if (focused && focused == message->window()->windowHandle() && message->isVisible()) {
                message->hide();
                message->show();
            }
        },
        Qt::SingleShotConnection);
}
