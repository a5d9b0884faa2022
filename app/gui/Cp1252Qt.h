// The edge between the core's Windows-1252 text and Qt's Unicode strings, through the real 1252 table.
#pragma once

#include <QString>
#include <string>

QString QStringFrom1252(const std::string& text);
// Characters that Windows-1252 lacks become '?'.
std::string QStringTo1252(const QString& text);
