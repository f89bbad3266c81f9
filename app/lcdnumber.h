#ifndef LCDNUMBER_H
#define LCDNUMBER_H

#include <QHash>
#include <QImage>
#include <QLCDNumber>

// An LCD number for readouts that change many times a second. It shows what
// QLCDNumber shows, pixel for pixel, at a fraction of the cost: a changed
// value repaints only the digits that changed, and each digit is copied from
// an image of the readout that QLCDNumber itself painted with that
// character in every place. Decimal readouts without a small decimal point
// take this way; any other state is painted by QLCDNumber as it is.
class LcdNumber : public QLCDNumber
{
    Q_OBJECT

public:
    using QLCDNumber::QLCDNumber;

    // The digits on show as QLCDNumber formats `number` in this readout, or
    // nothing where it overflows the digit count.
    static QString digitsFor(double number, int digitCount);

    // The number on show, as a screen reader should say it.
    QString shownText() const;

public slots:
    // As QLCDNumber's, which these hide so that the digits on show are known.
    void display(double number);
    void display(int number);
    void display(const QString &text);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    // What the images of the digits depend on.
    struct Look
    {
        QSize size;
        qreal pixelRatio = 1;
        int digitCount = 0;
        SegmentStyle style = Outline;
        int frameStyle = 0;
        int lineWidth = 0;
        int midLineWidth = 0;
        qint64 palette = 0;
        bool operator==(const Look &other) const;
    };
    Look lookNow() const;
    bool copiesDigits() const;
    QRect cell(int index) const;
    QRect digitRows() const;
    int segmentLength() const;
    const QImage &digitImage(QChar character);

    QString shown;               // the digits on show, when this readout knows them
    double shownValue = 0;       // the value they show
    Look imagesLook;             // what the images below were painted for
    QHash<QChar, QImage> images; // the readout with one character in every place
};

#endif // LCDNUMBER_H
