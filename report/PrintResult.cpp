#include "report/PrintResult.h"

#include "app/History.h"
#include "app/ProgramFolder.h"
#include "dataset/Cp1252.h"
#include "dataset/DB.h"
#include "report/L9.h"
#include "report/L9Engine.h"
#include "report/L9Qt.h"

#include <QApplication>
#include <QMessageBox>
#include <QWidget>

#include <cstdio>
#include <unistd.h>

namespace {

QString Q(const std::string& s1252) {
    return QString::fromStdU16String(cp1252::ToUtf16(s1252));
}

// Deletes the project when the print ends, however it ends.
struct TRemoveFile {
    std::string Name;
    ~TRemoveFile() { std::remove(Name.c_str()); }
};

} // namespace

std::string ProgramReportFolder() {
    return ReportFolder(DataFolder());
}

std::string ReportProjectFolder(const std::string& reportFolder) {
    // The project is written beside its fragments, unless that folder is read-only (an installed program):
    // then into the user's own Report folder.
    if (::access(reportFolder.c_str(), W_OK) == 0) return reportFolder;
    return ProgramSubFolder("Report");
}

int PrintResult(TDBL9& component, const std::vector<TReportColumn>& columns, bool landscape, QWidget* parent,
                const std::string& reportFolder) {
    L9InstallQtUi();
    TDataSet* ds = component.DataSource() ? component.DataSource()->DataSet() : nullptr;
    if (!ds || !ds->Active() || columns.empty()) {
        QMessageBox::information(
            parent, QStringLiteral("Vestra"),
            QStringLiteral("Es gibt kein Ergebnis zum Drucken: f\u00fchren Sie zuerst eine "
                           "Abfrage aus."));
        return PrintNoResult;
    }
    const std::string folder = reportFolder.empty() ? ProgramReportFolder() : reportFolder;
    const std::string file = ReportProjectFile(ReportProjectFolder(folder));
    try {
        WriteListProject(file, folder, landscape ? 'Q' : 'H', columns);
    } catch (const EFileError& e) {
        QMessageBox::critical(parent, QStringLiteral("Vestra"), Q(e.what()));
        return PrintNoProject;
    }
    TRemoveFile project{file};
    return component.PrintProject(0, TL9ProjectType::ListProject, file, false, LL_PRINT_USERSELECT, 2, parent,
                                  PrintTitle, true, "HomeDir");
}

int PrintResult(TDataSet& dataSet, const std::vector<TReportColumn>& columns, bool landscape, QWidget* parent,
                const std::string& reportFolder) {
    L9InstallQtUi();
    TDataSource source(&dataSet);
    TDBL9 component;
    component.SetDataSource(&source);
    return PrintResult(component, columns, landscape, parent, reportFolder);
}
