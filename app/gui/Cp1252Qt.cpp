#include "app/gui/Cp1252Qt.h"

#include "dataset/Cp1252.h"

QString QStringFrom1252(const std::string& text) {
    QString out(qsizetype(text.size()), Qt::Uninitialized);
    QChar* p = out.data();
    for (size_t i = 0; i < text.size(); ++i)
        p[i] = QChar(cp1252::ToUnicode(static_cast<unsigned char>(text[i])));
    return out;
}

std::string QStringTo1252(const QString& text) {
    const std::u16string wide = text.toStdU16String();
    return cp1252::FromUtf16(wide);
}
