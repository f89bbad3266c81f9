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
// It trusts only its own updates. A paint copies only where it paints onto
// the screen, its region lies within the digits this class invalidated
// since the last paint, and those digits are its own (the last number came
// through display(double), in decimal mode without a small decimal point).
// Every other paint (after a call through QLCDNumber, which updates the
// whole readout; an expose, a resize, a grab or render onto another device)
// is QLCDNumber's, and the digits on the screen then count as unknown until
// the next display(double), which repaints every place at once.
//
// It copies only where it is sure of the pixels: no style sheet may style
// it or anything under it, what lies under it wherever QLCDNumber does not
// cover every pixel must be one known colour (the window's or a filling
// ancestor's background, with no widget below it there), each digit's
// pixels must stay within its own place (not so at a few pixels per digit),
// and the surface it paints on must have a pixel ratio of 1: scaled, a
// digit's antialiased edges come out a shade otherwise at another place of
// the surface, such as the images' own.
//
// A number that overflows is QLCDNumber's alone: its overflow() reaches
// slots connected to it with updates as they were, so that whatever they
// do to the readout is painted as QLCDNumber paints it.
class LcdNumber : public QLCDNumber
{
    Q_OBJECT

public:
    explicit LcdNumber(QWidget *parent = nullptr);
    explicit LcdNumber(uint numDigits, QWidget *parent = nullptr);

    // The digits on show as QLCDNumber formats `number` in this readout, or
    // nothing where it overflows the digit count.
    static QString digitsFor(double number, int digitCount);

    // The number on show, as a screen reader should say it.
    QString shownText() const;

    using QLCDNumber::display;

public slots:
    void display(double number);

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
    void overflowing();
    bool restoreUpdates();
    bool knowsDigits() const;
    bool paintsOnScreen() const;
    qreal surfaceRatio() const;
    std::optional<QRgb> backdrop() const;
    bool belowIsClear(const QRect &area) const;
    bool canCopy();
    bool copyable(QRgb backdrop);
    void repaintEveryPlace();
    QRect cell(int index) const;
    int segmentLength() const;
    void paintImages();
    void forgetDigits();

    QString shown;                             // the digits last shown through display(double)
    double shownValue = 0;                     // the value they show
    std::optional<bool> updatesDisabledBefore; // within display(double): updates as they were
    bool onScreen = false;                     // the screen shows `shown`, copied from the images
    QRegion invalidated;         // the places this readout invalidated since the last paint
    bool repaintingAll = false;  // a repaint of every place, by display(double)
    Look imagesLook;             // what the images below were painted for
    QHash<QChar, QImage> images; // the readout with one character in every place
    bool clean = false;          // the images keep each character in its place
    QRect uncovered;             // where QLCDNumber leaves pixels not fully covered
    QRect inked;                 // where the images differ from the blank readout
};

#endif // LCDNUMBER_H
