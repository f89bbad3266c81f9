#include "lcdnumber.h"

#include <QPaintEvent>
#include <QPainter>

bool LcdNumber::Look::operator==(const Look &other) const
{
    return size == other.size && pixelRatio == other.pixelRatio && digitCount == other.digitCount
           && style == other.style && frameStyle == other.frameStyle && lineWidth == other.lineWidth
           && midLineWidth == other.midLineWidth && palette == other.palette;
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
    // QLCDNumber repaints the whole readout when any digit changes; here
    // only the places whose character changed are repainted.
    const QString before = copiesDigits() ? shown : QString();
    const bool updatesWereDisabled = testAttribute(Qt::WA_UpdatesDisabled);
    setAttribute(Qt::WA_UpdatesDisabled);
    QLCDNumber::display(number); // emits overflow() where the number does not fit
    setAttribute(Qt::WA_UpdatesDisabled, updatesWereDisabled);

    const QString digits = digitsFor(number, digitCount());
    shownValue = number;
    if (digits.isEmpty()) // overflow: the digits stay as they were
        return;
    shown = digits;
    if (before.size() != digits.size() || mode() != Dec || smallDecimalPoint()) {
        update();
        return;
    }
    QRegion changed;
    for (int i = 0; i < digits.size(); ++i)
        if (digits[i] != before[i])
            changed += cell(i) & digitRows();
    update(changed);
}

QString LcdNumber::shownText() const
{
    return copiesDigits() ? shown.trimmed() : QString::number(value());
}

void LcdNumber::display(int number)
{
    shown.clear();
    QLCDNumber::display(number);
}

void LcdNumber::display(const QString &text)
{
    shown.clear();
    QLCDNumber::display(text);
}

// The digits on show are known and can be copied from the images: decimal
// mode without a small decimal point, the value last shown through
// display(double) (not through QLCDNumber's own functions), the digit count
// unchanged.
bool LcdNumber::copiesDigits() const
{
    return mode() == Dec && !smallDecimalPoint() && !shown.isEmpty() && shown.size() == digitCount()
           && value() == shownValue;
}

LcdNumber::Look LcdNumber::lookNow() const
{
    return {size(),       devicePixelRatioF(), digitCount(),   segmentStyle(),
            frameStyle(), lineWidth(),         midLineWidth(), palette().cacheKey()};
}

// The length of a segment as QLCDNumber draws it: the digits and the gaps
// between them fill the width, or two segments the height.
int LcdNumber::segmentLength() const
{
    return std::min(width() * 5 / (digitCount() * 6 + 1), height() * 5 / 12);
}

// The rows the digits are drawn in, with a margin for their antialiased
// edges; above and below them every character's image is the same.
QRect LcdNumber::digitRows() const
{
    const int segmentLength = this->segmentLength();
    const int top = (height() - segmentLength * 2) / 2;
    return QRect(0, top - 2, width(), segmentLength * 2 + 4);
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

const QImage &LcdNumber::digitImage(QChar character)
{
    const auto found = images.constFind(character);
    if (found != images.cend())
        return *found;
    // QLCDNumber paints a readout like this one showing the character in
    // every place, on the window background it is shown on.
    QLCDNumber model;
    model.setPalette(palette());
    model.setFont(font());
    model.resize(size());
    model.setDigitCount(digitCount());
    model.setSegmentStyle(segmentStyle());
    model.setFrameStyle(frameStyle());
    model.setLineWidth(lineWidth());
    model.setMidLineWidth(midLineWidth());
    model.display(QString(digitCount(), character));
    QImage image(size() * devicePixelRatioF(), QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(devicePixelRatioF());
    model.render(&image);
    return *images.insert(character, image);
}

void LcdNumber::paintEvent(QPaintEvent *event)
{
    if (!copiesDigits()) {
        QLCDNumber::paintEvent(event);
        return;
    }
    const Look now = lookNow();
    if (!(now == imagesLook)) {
        images.clear();
        imagesLook = now;
    }
    QPainter painter(this);
    for (int i = 0; i < shown.size(); ++i) {
        const QRect place = cell(i);
        if (event->region().intersects(place))
            painter.drawImage(QRectF(place), digitImage(shown[i]),
                              QRectF(QPointF(place.topLeft()) * now.pixelRatio,
                                     QSizeF(place.size()) * now.pixelRatio));
    }
}
