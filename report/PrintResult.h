// The worksheet's print action: generates the list project for the result's columns in the report folder,
// prints it through the report component (options dialog, progress box, preview) and deletes the project.
#pragma once

#include "report/ListProject.h"

#include <string>
#include <vector>

class QWidget;
class TDataSet;
class TDBL9;

// Returned when there is no open result to print (after the message saying so).
inline constexpr int PrintNoResult = -1000;
// Returned when the project cannot be written (after the file error's message); the engine is not called.
inline constexpr int PrintNoProject = -1001;

// The title of the options dialog and the progress box.
inline constexpr const char* PrintTitle = "Vestra - Ergebnis drucken";

// The report folder with the fragments: beside the program, or in share/vestra when installed.
std::string ProgramReportFolder();
// The folder the generated project is written to for fragments in reportFolder.
std::string ReportProjectFolder(const std::string& reportFolder);

// Prints the component's data set with the columns in that order, portrait or landscape; returns the
// engine's result (negative on an error or a cancellation). reportFolder empty: the program's folder.
int PrintResult(TDBL9& component, const std::vector<TReportColumn>& columns, bool landscape, QWidget* parent,
                const std::string& reportFolder = std::string());
// The same with a component made for this print over the data set.
int PrintResult(TDataSet& dataSet, const std::vector<TReportColumn>& columns, bool landscape, QWidget* parent,
                const std::string& reportFolder = std::string());
