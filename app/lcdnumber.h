#ifndef LCDNUMBER_H
#define LCDNUMBER_H

#include <QHash>
#include <QImage>
#include <QLCDNumber>

#include <optional>

class QStyle;

// An LCD number for readouts that change many times a second. It shows what
// QLCDNumber shows, pixel for pixel, at a fraction of the cost: a value
// shown through display(double) repaints only the digits that changed, each
// copied from an image of the readout that QLCDNumber itself painted with
// that character in every place.
//
// It copies only where it is sure of the result, and otherwise leaves the
// whole paint to QLCDNumber: it must know the digits on show (the last
// number came through display(double), in decimal mode without a small
// decimal point, and nothing has changed the digits since), no style sheet
// may style it or anything under it, what lies under it wherever QLCDNumber
// does not cover every pixel must be one known colour (the window's or a
// filling ancestor's background, with no widget below it there), each
// digit's pixels must stay within its own place (not so at a few pixels per
// digit), and the device pixel ratio must be whole. The functions below that
// change the digits or how they are laid out are this class's own; called
// through a QLCDNumber pointer instead, their change is noticed at the next
// paint, but for a digit count shrunk and restored in between, which shows
// wrong digits until the next display(double).
class LcdNumber : public QLCDNumber
{
    Q_OBJECT
    Q_PROPERTY(int digitCount READ digitCount WRITE setDigitCount)
    Q_PROPERTY(Mode mode READ mode WRITE setMode)
    Q_PROPERTY(bool smallDecimalPoint READ smallDecimalPoint WRITE setSmallDecimalPoint)
    Q_PROPERTY(double value READ value WRITE display)
    Q_PROPERTY(int intValue READ intValue WRITE display)

public:
    using QLCDNumber::QLCDNumber;

    // The digits on show as QLCDNumber formats `number` in this readout, or
    // nothing where it overflows the digit count.
    static QString digitsFor(double number, int digitCount);

    // The number on show, as a screen reader should say it.
    QString shownText() const;

    // As QLCDNumber's, which these hide so that the digits on show are known.
    void setDigitCount(int count);
    void setMode(Mode mode);

public slots:
    void display(double number);
    void display(int number);
    void display(const QString &text);
    void setHexMode() { setMode(Hex); }
    void setDecMode() { setMode(Dec); }
    void setOctMode() { setMode(Oct); }
    void setBinMode() { setMode(Bin); }
    void setSmallDecimalPoint(bool small);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    // What the images of the digits depend on.
    struct Look
    {
        QSize size;
        qreal pixelRatio = 1;
        int digitCount = 0;
        SegmentStyle segments = Outline;
        int frameStyle = 0;
        int lineWidth = 0;
        int midLineWidth = 0;
        qint64 palette = 0;
        int colourGroup = 0;
        bool enabled = true;
        const QStyle *style = nullptr;
        QRgb backdrop = 0;
        bool operator==(const Look &other) const;
    };
    bool knowsDigits() const;
    std::optional<QRgb> backdrop() const;
    bool belowIsClear(const QRect &area) const;
    bool copyable(QRgb backdrop);
    QRect cell(int index) const;
    int segmentLength() const;
    void paintImages();
    void forgetDigits();

    QString shown;               // the digits on show, when this readout knows them
    double shownValue = 0;       // the value they show
    bool copied = false;         // the last paint copied digits
    Look imagesLook;             // what the images below were painted for
    QHash<QChar, QImage> images; // the readout with one character in every place
    bool clean = false;          // the images keep each character in its place
    QRect uncovered;             // where QLCDNumber leaves pixels not fully covered
    QRect inked;                 // where the images differ from the blank readout
};

#endif // LCDNUMBER_H
