// The tool bar's and buttons' icons, taken from the style's standard pixmaps and a few drawn ones.
#pragma once

#include <QIcon>

namespace Icons {
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
