#include "app/gui/Icons.h"

#include <QApplication>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QStyle>

namespace {

QIcon Std(QStyle::StandardPixmap p) {
    return QApplication::style()->standardIcon(p);
}

// A small drawn icon: a glyph on a rounded tile.
QIcon Glyph(const QColor& tile, const QString& text) {
    QPixmap pm(32, 32);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(tile);
    p.setPen(tile.darker(140));
    p.drawRoundedRect(QRectF(2.5, 2.5, 27, 27), 5, 5);
    QFont f = p.font();
    f.setBold(true);
    f.setPixelSize(text.size() > 2 ? 11 : 15);
    p.setFont(f);
    p.setPen(Qt::white);
    p.drawText(QRect(0, 0, 32, 32), Qt::AlignCenter, text);
    return QIcon(pm);
}

} // namespace

namespace Icons {
QIcon Exit() {
    return Std(QStyle::SP_DialogCloseButton);
}
QIcon New() {
    return Std(QStyle::SP_FileIcon);
}
QIcon Open() {
    return Std(QStyle::SP_DialogOpenButton);
}
QIcon Save() {
    return Std(QStyle::SP_DialogSaveButton);
}
QIcon Export() {
    return Glyph(QColor(0x2e, 0x7d, 0x32), "\u2192");
}
QIcon SelectAll() {
    return Glyph(QColor(0x55, 0x6b, 0x8d), "A*");
}
QIcon Cut() {
    return Glyph(QColor(0x8d, 0x55, 0x55), "\u2702");
}
QIcon Copy() {
    return Glyph(QColor(0x55, 0x77, 0x8d), "Ko");
}
QIcon Paste() {
    return Glyph(QColor(0x8d, 0x7a, 0x55), "Ei");
}
QIcon QuickView() {
    return Glyph(QColor(0x1e, 0x5a, 0xa8), "QV");
}
QIcon QuickViewII() {
    return Glyph(QColor(0x6a, 0x1b, 0x9a), "IZ");
}
QIcon Clipboard() {
    return Glyph(QColor(0x1b, 0x7a, 0x3a), "XL");
}
QIcon Printer() {
    return Glyph(QColor(0x44, 0x44, 0x44), "Dr");
}

QPixmap Logo(int w, int h) {
    QPixmap pm(w, h);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient g(0, 0, 0, h);
    g.setColorAt(0, QColor(0xc6, 0x28, 0x28));
    g.setColorAt(1, QColor(0x7f, 0x10, 0x10));
    p.setBrush(g);
    p.setPen(Qt::NoPen);
    p.drawRoundedRect(QRectF(0, 0, w, h), 8, 8);
    // A database drum.
    const QRectF drum(w * 0.3, h * 0.18, w * 0.4, h * 0.64);
    p.setBrush(QColor(255, 255, 255, 230));
    QPainterPath path;
    path.addRect(drum.adjusted(0, drum.height() * 0.1, 0, -drum.height() * 0.1));
    path.addEllipse(QRectF(drum.left(), drum.top(), drum.width(), drum.height() * 0.2));
    path.addEllipse(
        QRectF(drum.left(), drum.bottom() - drum.height() * 0.2, drum.width(), drum.height() * 0.2));
    p.drawPath(path.simplified());
    p.setPen(QPen(QColor(0x7f, 0x10, 0x10), 1.5));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QRectF(drum.left(), drum.top(), drum.width(), drum.height() * 0.2));
    return pm;
}
} // namespace Icons
