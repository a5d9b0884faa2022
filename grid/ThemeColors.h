// Colours that follow the palette: the few places that need a colour of their own (an alert text, a note, the
// grid's marks) take it from the palette's light or dark character, so that they stay readable on a dark
// desktop.
#pragma once

#include <QColor>

class QPalette;

namespace theme {
// A dark palette: its window colour is darker than middle grey.
bool IsDark(const QPalette& pal);
// Text that must catch the eye (the connection label, the product name): a deep red on a light palette, a
// light red on a dark one.
QColor AlertText(const QPalette& pal);
// The ink of the grid's small marks (sort arrows, menu, search and filter marks) on the title area.
QColor MarkInk(const QPalette& pal);
// The mark of a filter that is in force.
QColor ActiveMark(const QPalette& pal);
// WCAG 2 contrast ratio of two colours (1 to 21).
double Contrast(const QColor& a, const QColor& b);
} // namespace theme
