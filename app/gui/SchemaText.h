// Windows-1252 texts of the core at the edge of the schema browser's and the workbench's windows, and the
// message box the application shows for an error.
#pragma once

#include "dataset/Cp1252.h"
#include "dataset/DB.h"

#include <QMessageBox>
#include <QString>
#include <QWidget>
#include <string>

namespace schemagui {

inline QString Q(const std::string& text1252) {
    std::u16string u = cp1252::ToUtf16(text1252);
    return QString::fromUtf16(u.data(), qsizetype(u.size()));
}

inline std::string S(const QString& text) {
    return cp1252::FromUtf16(
        std::u16string(reinterpret_cast<const char16_t*>(text.utf16()), size_t(text.size())));
}

// What the application's exception handler shows: the message in a box captioned "Vestra".
inline void ShowError(QWidget* parent, const std::string& message1252) {
    QMessageBox box(QMessageBox::Critical, QStringLiteral("Vestra"), Q(message1252), QMessageBox::Ok, parent);
    box.setObjectName(QStringLiteral("ErrorBox"));
    box.exec();
}

// Runs f and hands what it throws to the application's exception display; false when it threw.
template <class F> bool Guarded(QWidget* parent, F&& f) {
    (void)parent;
    try {
        f();
        return true;
    } catch (std::exception& e) {
        ShowException(e);
    }
    return false;
}

} // namespace schemagui
