#include "app/gui/ClipboardCopy.h"

#include "app/DataSetResult.h"
#include "app/ResultText.h"
#include "app/gui/Cp1252Qt.h"
#include "dataset/DB.h"

#include <QClipboard>
#include <QGuiApplication>

QString ClipboardTextOf(IResultSource& source) {
    QString text;
    WalkResultText(source, "\t", true, false, [&text](std::string& buffer, long, bool done) {
        if (buffer.size() < (1 << 16) && !done) return;
        text += QStringFrom1252(buffer);
        buffer.clear();
    });
    source.First();
    return text;
}

void CopyResultToClipboard(TDataSet& query, TDataSource* dataSource) {
    // A closed query has no rows on the grid to detach from: the walk raises its error at once.
    if (!query.Active()) dataSource = nullptr;
    if (dataSource) dataSource->SetEnabled(false);
    try {
        TDataSetResult result(query);
        const QString text = ClipboardTextOf(result);
        QGuiApplication::clipboard()->setText(text, QClipboard::Clipboard);
    } catch (...) {
        if (dataSource) dataSource->SetEnabled(true);
        throw;
    }
    if (dataSource) dataSource->SetEnabled(true);
}
