#include "lcdnumber.h"

#include <QApplication>
#include <QBackingStore>
#include <QPaintEvent>
#include <QPainter>
#include <QStyle>

#include <algorithm>
#include <cmath>

namespace {

// Every character QLCDNumber can show for a decimal number, the blank first.
const QString Characters = QStringLiteral(" 0123456789-.e");

// The bounding box, in the image's own pixels, of the pixels for which
// `keep` holds.
template <typename Keep>
QRect pixelsWhere(const QImage &image, Keep keep)
{
    QRect box;
    for (int y = 0; y < image.height(); ++y) {
        const auto *line = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x)
            if (keep(x, y, line[x]))
                box |= QRect(x, y, 1, 1);
    }
    return box;
}

// A rectangle of device pixels in the widget's own coordinates, rounded out.
QRect logical(const QRect &pixels, qreal ratio)
{
    if (pixels.isEmpty())
        return {};
    const int left = int(std::floor(pixels.left() / ratio));
    const int top = int(std::floor(pixels.top() / ratio));
    const int right = int(std::ceil((pixels.right() + 1) / ratio));
    const int bottom = int(std::ceil((pixels.bottom() + 1) / ratio));
    return QRect(QPoint(left, top), QPoint(right - 1, bottom - 1));
}

// A window or container that paints nothing over its own background: a
// plain widget, a main window or a dialog.
bool paintsOnlyBackground(const QWidget *widget)
{
    return widget->metaObject() == &QWidget::staticMetaObject
           || (widget->isWindow()
               && (widget->inherits("QMainWindow") || widget->inherits("QDialog")));
}

bool styledBySheet(const QWidget *widget)
{
    return widget->testAttribute(Qt::WA_StyleSheet)
           || widget->style()->inherits("QStyleSheetStyle");
}

} // namespace

bool LcdNumber::Look::operator==(const Look &other) const
{
    return size == other.size && pixelRatio == other.pixelRatio && digitCount == other.digitCount
           && segments == other.segments && frameStyle == other.frameStyle
           && lineWidth == other.lineWidth && midLineWidth == other.midLineWidth
           && palette == other.palette && colourGroup == other.colourGroup
           && enabled == other.enabled && style == other.style && backdrop == other.backdrop;
}

LcdNumber::LcdNumber(QWidget *parent) : LcdNumber(5, parent) {}

LcdNumber::LcdNumber(uint numDigits, QWidget *parent) : QLCDNumber(numDigits, parent)
{
    // Connected first, so that it runs before any other slot.
    connect(this, &QLCDNumber::overflow, this, &LcdNumber::overflowing);
}

QString LcdNumber::digitsFor(double number, int digitCount)
{
    // printf's %g with as many significant digits as fit, right-aligned; an
    // exponent shows as " e05" rather than "e+05".
    QString digits;
    for (int precision = digitCount; precision >= 0; --precision) {
        digits = QString::asprintf("%*.*g", digitCount, precision, number);
        const qsizetype exponent = digits.indexOf(QLatin1Char('e'));
        if (exponent > 0 && digits[exponent + 1] == QLatin1Char('+')) {
            digits[exponent] = QLatin1Char(' ');
            digits[exponent + 1] = QLatin1Char('e');
        }
        if (digits.size() <= digitCount)
            return digits;
    }
    return QString();
}

void LcdNumber::display(double number)
{
    if (mode() != Dec || smallDecimalPoint()) {
        forgetDigits();
        QLCDNumber::display(number);
        return;
    }
    // QLCDNumber repaints the whole readout when any digit changes; here
    // only the places whose character changed are repainted.
    const QString before = onScreen ? shown : QString();
    updatesDisabledBefore = testAttribute(Qt::WA_UpdatesDisabled);
    setAttribute(Qt::WA_UpdatesDisabled);
    QLCDNumber::display(number); // emits overflow() where the number does not fit
    if (!restoreUpdates())       // it overflowed: overflowing() took over
        return;

    const QString digits = digitsFor(number, digitCount());
    shownValue = number;
    if (!std::all_of(digits.cbegin(), digits.cend(),
                     [](QChar c) { return Characters.contains(c); })) { // "inf", "nan"
        forgetDigits();
        update();
        return;
    }
    shown = digits;
    if (before.size() != digits.size()) {
        repaintEveryPlace();
        return;
    }
    // Painted by QLCDNumber, only a whole readout is sure to show what it
    // shows: a digit's edges may reach beyond its place.
    if (!canCopy()) {
        update();
        return;
    }
    QRegion changed;
    for (int i = 0; i < digits.size(); ++i)
        if (digits[i] != before[i])
            changed += cell(i) & inked;
    invalidated += changed;
    update(changed);
}

// The number did not fit: QLCDNumber keeps the digits on show. Updates are
// as they were before display(double) for the slots that follow, and the
// next number is shown afresh in every place.
void LcdNumber::overflowing()
{
    if (restoreUpdates())
        shownValue = value(); // the digits still say what they said
    onScreen = false;
}

// Puts updates back as they were before display(double) turned them off;
// false where they already are.
bool LcdNumber::restoreUpdates()
{
    if (!updatesDisabledBefore)
        return false;
    setAttribute(Qt::WA_UpdatesDisabled, *updatesDisabledBefore);
    updatesDisabledBefore.reset();
    return true;
}

// Paints every place now, from the images where they can be copied; being
// done at once, no call through QLCDNumber can come between.
void LcdNumber::repaintEveryPlace()
{
    onScreen = false;
    if (!isVisible() || !canCopy()) {
        update();
        return;
    }
    repaintingAll = true;
    repaint();
    repaintingAll = false;
}

void LcdNumber::forgetDigits()
{
    shown.clear();
    onScreen = false;
}

QString LcdNumber::shownText() const
{
    return knowsDigits() ? shown.trimmed() : QString::number(value());
}

// The digits on show are those last shown through display(double), in
// decimal mode without a small decimal point, as far as can be seen.
bool LcdNumber::knowsDigits() const
{
    return mode() == Dec && !smallDecimalPoint() && !shown.isEmpty() && shown.size() == digitCount()
           && value() == shownValue;
}

// Whether this paint goes to the screen (the window's backing store), not
// to a grab or a render onto another device.
bool LcdNumber::paintsOnScreen() const
{
    QBackingStore *store = window()->backingStore();
    return store && !sharedPainter() && redirected(nullptr) == store->paintDevice();
}

// The one colour under the readout, where it is known: its own background
// where it fills it, or else that of the nearest ancestor that fills its
// own (a window always does), with nothing but plain containers between.
std::optional<QRgb> LcdNumber::backdrop() const
{
    if (!qApp->styleSheet().isEmpty())
        return std::nullopt;
    for (const QWidget *widget = this; widget; widget = widget->parentWidget()) {
        if (styledBySheet(widget) || widget->testAttribute(Qt::WA_TranslucentBackground)
            || (widget != this && !paintsOnlyBackground(widget)))
            return std::nullopt;
        if (widget->autoFillBackground() || widget->isWindow()) {
            const QBrush brush = widget->palette().brush(widget->backgroundRole());
            if (brush.style() != Qt::SolidPattern || brush.color().alpha() != 255)
                return std::nullopt;
            return brush.color().rgb();
        }
    }
    return std::nullopt;
}

// No widget below the readout (a sibling earlier in the stacking order)
// reaches into `area`.
bool LcdNumber::belowIsClear(const QRect &area) const
{
    const QWidget *parent = parentWidget();
    if (!parent || area.isEmpty())
        return true;
    const QRect inParent = area.translated(pos());
    for (const QObject *child : parent->children()) {
        if (child == this)
            break;
        const auto *sibling = qobject_cast<const QWidget *>(child);
        if (sibling && !sibling->isHidden() && !sibling->isWindow()
            && sibling->geometry().intersects(inParent))
            return false;
    }
    return true;
}

// Whether copying the images paints what QLCDNumber would paint here.
bool LcdNumber::canCopy()
{
    const std::optional<QRgb> under = knowsDigits() ? backdrop() : std::nullopt;
    return under && copyable(*under);
}

// The pixel ratio of the surface the readout paints on, which may differ
// from the one the widget reports (Qt's offscreen platform on a scaled
// screen paints at 1).
qreal LcdNumber::surfaceRatio() const
{
    QBackingStore *store = window()->backingStore();
    return store && store->paintDevice() ? store->paintDevice()->devicePixelRatioF()
                                         : devicePixelRatioF();
}

// Whether copying the images paints what QLCDNumber would paint over the
// colour `under`; paints the images first where the look has changed.
bool LcdNumber::copyable(QRgb under)
{
    const qreal ratio = surfaceRatio();
    if (frameShape() == StyledPanel || ratio != 1)
        return false;
    const Look now{size(),
                   ratio,
                   digitCount(),
                   segmentStyle(),
                   frameStyle(),
                   lineWidth(),
                   midLineWidth(),
                   palette().cacheKey(),
                   int(palette().currentColorGroup()),
                   isEnabled(),
                   style(),
                   under};
    if (!(now == imagesLook) || images.isEmpty()) {
        imagesLook = now;
        paintImages();
    }
    return clean && belowIsClear(uncovered);
}

// Paints the readout with each character in every place, as QLCDNumber
// does, over the colour under it; finds where QLCDNumber leaves pixels not
// fully covered, where the characters draw, and whether each stays in its
// own place.
void LcdNumber::paintImages()
{
    images.clear();
    const qreal ratio = imagesLook.pixelRatio;
    // A readout like this one, in the colours this one shows now.
    QPalette colours;
    for (int role = 0; role < QPalette::NColorRoles; ++role)
        colours.setBrush(QPalette::ColorRole(role), palette().brush(QPalette::ColorRole(role)));
    QLCDNumber model;
    model.setStyle(style());
    model.setPalette(colours);
    model.setEnabled(isEnabled());
    model.setForegroundRole(foregroundRole());
    model.setBackgroundRole(backgroundRole());
    model.resize(size());
    model.setDigitCount(digitCount());
    model.setSegmentStyle(segmentStyle());
    model.setFrameStyle(frameStyle());
    model.setLineWidth(lineWidth());
    model.setMidLineWidth(midLineWidth());

    QRect open;
    for (const QChar character : Characters) {
        model.display(QString(digitCount(), character));
        QImage alone(size() * ratio, QImage::Format_ARGB32_Premultiplied);
        alone.setDevicePixelRatio(ratio);
        alone.fill(Qt::transparent);
        model.render(&alone, QPoint(), QRegion(), QWidget::DrawChildren);
        open |= pixelsWhere(alone, [](int, int, QRgb pixel) { return qAlpha(pixel) < 255; });
        QImage image(alone.size(), QImage::Format_ARGB32_Premultiplied);
        image.setDevicePixelRatio(ratio);
        image.fill(imagesLook.backdrop);
        model.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
        images.insert(character, image);
    }
    uncovered = logical(open, ratio);

    // Where any character differs from the blank readout, and whether any
    // reaches the pixels either side of a boundary between places.
    const QImage &blank = images.value(QLatin1Char(' '));
    QList<int> boundaries;
    clean = digitCount() > 0;
    for (int i = 1; i < digitCount(); ++i) {
        const int x = int(cell(i).left() * ratio);
        clean = clean && cell(i - 1).width() > 1 && x > 0 && x < blank.width();
        boundaries << x - 1 << x;
    }
    QRect differs;
    for (const QImage &image : std::as_const(images)) {
        differs |= pixelsWhere(image, [&](int x, int y, QRgb pixel) {
            const bool inked = pixel != reinterpret_cast<const QRgb *>(blank.constScanLine(y))[x];
            if (inked && boundaries.contains(x))
                clean = false;
            return inked;
        });
    }
    inked = logical(differs, ratio);
    // The readout's own updates stay within the inked places; were those the
    // whole readout, QLCDNumber's own full updates could pass for them.
    clean = clean && !inked.contains(rect());
}

// The length of a segment as QLCDNumber draws it: the digits and the gaps
// between them fill the width, or two segments the height.
int LcdNumber::segmentLength() const
{
    return std::min(width() * 5 / (digitCount() * 6 + 1), height() * 5 / 12);
}

// The columns of the character in place `index`: the digit and half the gap
// on each side of it, the readout's edges for the first and the last.
QRect LcdNumber::cell(int index) const
{
    const int count = digitCount();
    const int segmentLength = this->segmentLength();
    const int advance = segmentLength * 6 / 5;
    const int firstDigit = (width() - count * advance + segmentLength / 5) / 2;
    const int halfGap = (advance - segmentLength) / 2;
    const int left = index == 0 ? 0 : firstDigit + advance * index - halfGap;
    const int right = index == count - 1 ? width() : firstDigit + advance * (index + 1) - halfGap;
    return QRect(left, 0, right - left, height());
}

void LcdNumber::paintEvent(QPaintEvent *event)
{
    const bool toScreen = paintsOnScreen();
    const bool own = toScreen && (repaintingAll || (event->region() - invalidated).isEmpty());
    if (toScreen)
        invalidated = QRegion();
    onScreen = own && (repaintingAll || onScreen) && canCopy();
    if (!onScreen) {
        QLCDNumber::paintEvent(event);
        return;
    }
    const qreal ratio = imagesLook.pixelRatio;
    QPainter painter(this);
    for (int i = 0; i < shown.size(); ++i) {
        const QRect place = cell(i);
        if (event->region().intersects(place))
            painter.drawImage(
                QRectF(place), images.value(shown[i]),
                QRectF(QPointF(place.topLeft()) * ratio, QSizeF(place.size()) * ratio));
    }
}
