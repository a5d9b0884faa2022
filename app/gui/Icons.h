// The tool bar's and buttons' icons: the desktop theme's icon of the freedesktop name where one fits, else
// (and on a desktop without a theme) our own SVG drawings, compiled into the program (app/gui/icons).
#pragma once

#include <QIcon>

namespace Icons {
// Our own drawing of that name (":/icons/NAME.svg"), whatever the theme.
QIcon Own(const char* name);
// The program's icon (window, desktop entry).
QIcon Program();
QIcon Exit();
QIcon New();
QIcon Open();
QIcon Save();
QIcon Export();
QIcon SelectAll();
QIcon Cut();
QIcon Copy();
QIcon Paste();
QIcon QuickView();
QIcon QuickViewII();
QIcon Clipboard();
QIcon Printer();
// The product logo (info window), drawn at the given size.
QPixmap Logo(int w, int h);
} // namespace Icons
