#include "app/gui/Icons.h"

#include <QApplication>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace {

// The desktop theme's icon of that freedesktop name, else our own scalable drawing of it.
QIcon Themed(const char* name) {
    return QIcon::fromTheme(QString::fromLatin1(name), Icons::Own(name));
}

} // namespace

namespace Icons {
QIcon Own(const char* name) {
    return QIcon(QStringLiteral(":/icons/") + QString::fromLatin1(name) + QStringLiteral(".svg"));
}
QIcon Program() {
    return QIcon::fromTheme(QStringLiteral("de.tessaron.Vestra"), Own("de.tessaron.Vestra"));
}
QIcon Exit() {
    return Themed("application-exit");
}
QIcon New() {
    return Themed("document-new");
}
QIcon Open() {
    return Themed("document-open");
}
QIcon Save() {
    return Themed("document-save");
}
QIcon Export() {
    return Themed("document-export");
}
QIcon SelectAll() {
    return Themed("edit-select-all");
}
QIcon Cut() {
    return Themed("edit-cut");
}
QIcon Copy() {
    return Themed("edit-copy");
}
QIcon Paste() {
    return Themed("edit-paste");
}
// The schema browser, the workbench and the grid-to-clipboard copy have no freedesktop name: ours only.
QIcon QuickView() {
    return Own("vestra-schema");
}
QIcon QuickViewII() {
    return Own("vestra-workbench");
}
QIcon Clipboard() {
    return Own("vestra-clipboard-grid");
}
QIcon Printer() {
    return Themed("document-print");
}

QPixmap Logo(int w, int h) {
    // Drawn at the screen's scale: sharp on a 200 % screen.
    const qreal dpr = qApp ? qApp->devicePixelRatio() : 1.0;
    QPixmap pm(int(w * dpr + 0.5), int(h * dpr + 0.5));
    pm.setDevicePixelRatio(dpr);
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
