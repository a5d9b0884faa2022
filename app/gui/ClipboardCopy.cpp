#include "app/gui/ClipboardCopy.h"

#include "app/DataSetResult.h"
#include "app/ResultText.h"
#include "app/gui/Cp1252Qt.h"
#include "dataset/DB.h"

#include <QClipboard>
#include <QGuiApplication>

void CopyResultToClipboard(TDataSet& query, TDataSource* dataSource) {
    if (dataSource) dataSource->SetEnabled(false);
    try {
        TDataSetResult result(query);
        QString text = QStringFrom1252(BuildClipboardText(result));
        QGuiApplication::clipboard()->setText(text, QClipboard::Clipboard);
    } catch (...) {
        if (dataSource) dataSource->SetEnabled(true);
        throw;
    }
    if (dataSource) dataSource->SetEnabled(true);
}
