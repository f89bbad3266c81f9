#ifndef ACCESSIBILITY_H
#define ACCESSIBILITY_H

class QStatusBar;
class QString;
class QWidget;

// What assistive technology (a screen reader) is told about the main
// window's controls beyond what Qt tells by itself: each readout's current
// number, the throttle and load scroll bars as the power in kW that the user
// sees (more is up, though the scroll bars' values run from -100 at the top
// to 0), the plot as a chart, each status bar message as it appears, and
// what the program announces.
namespace Accessibility {

// Installs the interfaces; once is enough, more calls do nothing.
void install();

// Makes every message that `bar` shows appear as a notification, which a
// screen reader speaks when it shows.
void announceMessages(QStatusBar *bar);

// Tells assistive technology alone of `text`, as a notification in
// `parent`'s window; nothing is shown.
void announce(QWidget *parent, const QString &text);

// The dynamic property that marks a scroll bar whose value is shown negated.
inline constexpr char NegatedValue[] = "negatedValue";

} // namespace Accessibility

#endif // ACCESSIBILITY_H
