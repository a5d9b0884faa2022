// The GUI's edge: Windows-1252 text of the core to and from QString, and the application's exception display.
#pragma once

#include "dataset/Cp1252.h"

#include <QString>
#include <exception>
#include <string>

class QWidget;

inline QString FromAnsi(const std::string& text1252) {
    const std::u16string u = cp1252::ToUtf16(text1252);
    return QString::fromUtf16(u.data(), qsizetype(u.size()));
}

// Characters Windows-1252 has no byte for become '?'; check first with FirstCharNotAnsi where that matters.
inline std::string ToAnsi(const QString& text) {
    return cp1252::FromUtf16(
        std::u16string(reinterpret_cast<const char16_t*>(text.utf16()), size_t(text.size())));
}

// The application's exception display: a message box with the exception's message, captioned with the
// application's title. An EAbort shows nothing.
void ShowErrorBox(QWidget* parent, const std::exception& e);
// A plain message box captioned with the application's title.
void ShowPlainMessage(QWidget* parent, const QString& text);
