// The report engine's windows and output on Qt: the options dialog, the progress box, printing through
// QPrinter, PDF files through QPdfWriter and the preview window.
#pragma once

#include "report/L9Engine.h"

class QString;
class QPainter;
class QWidget;

// Installs the Qt windows as the engine's UI and the message box of the report component (once; later calls
// do nothing). The window calls it before it creates its report component.
void L9InstallQtUi();

// Paints one page of the document (index from 0) on a painter whose device has the page's size.
void L9PaintPage(QPainter& painter, const TL9Document& doc, int pageIndex);
// Writes the whole document as a PDF file; false when the file cannot be written.
bool L9WritePdf(const TL9Document& doc, const QString& fileName);
