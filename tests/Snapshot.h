// Pictures of what a window test shows, for a person to look at: saved only when VESTRA_SNAPSHOT_DIR names a
// folder, so that test runs leave nothing behind.
#pragma once

#include <QImage>
#include <QPixmap>
#include <QString>
#include <QWidget>

namespace vtest {

inline QString SnapshotPath(const char* name) {
    const QString dir = qEnvironmentVariable("VESTRA_SNAPSHOT_DIR");
    return dir.isEmpty() ? QString() : dir + "/" + QString::fromUtf8(name) + ".png";
}

inline void Snapshot(QWidget& w, const char* name) {
    const QString path = SnapshotPath(name);
    if (!path.isEmpty()) w.grab().save(path);
}

inline void Snapshot(const QImage& img, const char* name) {
    const QString path = SnapshotPath(name);
    if (!path.isEmpty()) img.save(path);
}

} // namespace vtest
