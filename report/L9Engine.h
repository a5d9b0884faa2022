// The report engine behind the report component: jobs, options, field definitions, the print job with its
// options dialog, progress box, page breaks and preview. The calls, option numbers, type codes and result
// codes are the ones the component relies on. The job logic here is free of Qt; dialogs, printing and the
// preview window come from an IL9Ui that the GUI installs (L9InstallQtUi in report/L9Qt.h).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "report/L9Project.h"

// ---- Result codes ----
inline constexpr int LL_OK = 0;
inline constexpr int LL_ERR_BAD_JOB = -1;      // no such job
inline constexpr int LL_ERR_NOT_PRINTING = -7; // a print call outside a print job
inline constexpr int LL_ERR_ALREADY_PRINTING = -6;
inline constexpr int LL_ERR_NO_PROJECT = -10;  // the project file cannot be opened
inline constexpr int LL_ERR_BAD_PROJECT = -20; // the project cannot be read
inline constexpr int LL_ERR_BAD_PROJECTTYPE = -21;
inline constexpr int LL_ERR_NO_UI = -30;  // dialogs and printers need the GUI
inline constexpr int LL_ERR_OUTPUT = -31; // printer or file could not be written
inline constexpr int LL_ERR_NO_PREVIEWFILES = -17;
inline constexpr int LL_ERR_PARAMETER = -18;
inline constexpr int LL_ERR_USER_ABORTED = -99;
inline constexpr int LL_WRN_REPEAT_DATA = -998; // page full: print the same line again on the next page

// ---- Project types, print options, box types ----
inline constexpr int LL_PROJECT_LABEL = 1;
inline constexpr int LL_PROJECT_LIST = 2;
inline constexpr int LL_PROJECT_CARD = 3;
inline constexpr int LL_PRINT_NORMAL = 0x100; // to the printer
inline constexpr int LL_PRINT_PREVIEW = 0x200;
inline constexpr int LL_PRINT_FILE = 0x400;       // to a PDF file
inline constexpr int LL_PRINT_USERSELECT = 0x800; // the options dialog lets the user choose
inline constexpr int LL_BOXTYPE_NONE = -1;

// ---- Field type codes ----
inline constexpr int LL_TEXT = 0x10000000;
inline constexpr int LL_NUMERIC = 0x8000000;
inline constexpr int LL_DATE_DAYNUMBER = 0x4000002; // days since 30 December 1899; "1e100" for none
inline constexpr int LL_BOOLEAN = 0x2000000;
inline constexpr int LL_BINARY = 0x1000000;

// ---- Print options (LlPrintSetOption) ----
inline constexpr int LL_PRNOPT_COPIES = 0;
inline constexpr int LL_PRNOPT_STARTPAGE = 1; // number of the first page
inline constexpr int LL_PRNOPT_COPIES_SUPPORTED = 3;
inline constexpr int LL_PRNOPT_DEST = 13; // destination chosen: 0 printer, 1 file, 2 preview
inline constexpr int LL_PRNOPT_ONLYPRINTERCOPIES = 14;
inline constexpr int LL_DEST_PRINTER = 0;
inline constexpr int LL_DEST_FILE = 1;
inline constexpr int LL_DEST_PREVIEW = 2;

// ---- Job text options (LlSetOptionStringA) ----
inline constexpr int LL_OPTIONSTR_PROJECTPASSWORD = 33;
inline constexpr int LL_OPTIONSTR_EXPORTFILE = 200; // the PDF file offered (or used without dialog)

// Global options are set with the job -1.
inline constexpr int LL_OPTION_MAXRTFVERSION = 44;

// ---- Notifications ----
using TLlCallback = intptr_t (*)(int message, intptr_t param, void* user);

// The choices of the options dialog.
struct TL9PrintChoice {
    int Destination = LL_DEST_PREVIEW;
    std::string FileName; // the PDF file for LL_DEST_FILE
    int Copies = 1;
    bool CopiesSupported = true;
    std::string PrinterName; // filled by the dialog for the printer destination
};

// A printed document: the project's layout, the pages with the texts of their lines, the print date.
struct TL9Page {
    std::vector<std::string> Header; // one text per header-line cell
    std::vector<std::string> Cells;  // rows one after another, one text per data-line cell
    int Rows = 0;
};
struct TL9Document {
    std::string ProjectText;
    TL9Layout Layout;
    TL9PageGeometry Geometry;
    std::vector<TL9Page> Pages;
    std::string Date;
    int FirstPage = 1;
};

// What the engine needs from a windowing system. All calls come on the GUI thread.
class IL9Ui {
public:
    virtual ~IL9Ui() = default;
    virtual void Message(void* parent, const std::string& text1252, const std::string& caption1252) = 0;
    // false when the user cancels.
    virtual bool OptionsDialog(void* parent, const std::string& title1252, TL9PrintChoice& choice) = 0;
    virtual void ProgressOpen(void* parent, const std::string& title1252) = 0;
    // false when the user pressed Cancel.
    virtual bool ProgressUpdate(const std::string& text1252, int percent) = 0;
    virtual void ProgressClose() = 0;
    // Writes the document to the printer chosen in the dialog or to the PDF file; 0 or a negative code.
    virtual int Output(const TL9Document& doc, const TL9PrintChoice& choice, void* parent) = 0;
    // Shows the preview window modally; 0 when it was closed.
    virtual int Preview(const TL9Document& doc, void* parent, const std::string& title1252) = 0;
};

// The UI the engine uses (nullptr: none, dialogs fail with LL_ERR_NO_UI).
void L9SetUi(IL9Ui* ui);
IL9Ui* L9Ui();

// ---- Engine calls ----
int LlJobOpen(int language);
void LlJobClose(int job);
int LlSetOption(int job, int option, intptr_t value);
intptr_t LlGetOption(int job, int option);
int LlSetOptionStringA(int job, int option, const std::string& text);
std::string LlGetOptionString(int job, int option);
int LlSetDlgboxMode(unsigned mode);
unsigned LlGetDlgboxMode();
int LlSetNotificationCallback(int job, TLlCallback callback, void* user);
int LlSetDebug(int flag);
int LlDefineVariableStart(int job);
int LlDefineFieldStart(int job);
int LlDefineChartFieldStart(int job);
int LlDefineFieldExtA(int job, const std::string& name, const std::string& contents, int type, intptr_t hint);
int LlDefineVariableExtA(int job, const std::string& name, const std::string& contents, int type,
                         intptr_t hint);
int LlPrintWithBoxStartA(int job, int projectType, const std::string& projectFile, int printOptions,
                         int boxType, void* parent, const std::string& title);
int LlPrintSetOption(int job, int option, intptr_t value);
intptr_t LlPrintGetOption(int job, int option);
int LlPrintOptionsDialogA(int job, void* parent, const std::string& title);
// Copies the printer's name (at most nameSize - 1 bytes) and port into the buffers.
int LlPrintGetPrinterInfoA(int job, char* name, int nameSize, char* port, int portSize);
int LlPreviewSetTempPathA(int job, const std::string& path);
int LlPrint(int job);
int LlPrintSetBoxTextA(int job, const std::string& text, int percent);
int LlPrintFields(int job);
int LlPrintFieldsEnd(int job);
// Ends the print job and writes its pages to the destination; with LL_PRINTEND_DISCARD the pages are dropped.
inline constexpr int LL_PRINTEND_DISCARD = 1;
int LlPrintEnd(int job, int flags);
int LlPreviewDisplayA(int job, const std::string& projectFile, const std::string& path, void* parent);
int LlPreviewDeleteFilesA(int job, const std::string& projectFile, const std::string& path);

// The text of the last error of the job (empty after success).
std::string LlGetLastErrorText(int job);

// ---- Helpers shared with the GUI part and the tests ----

// The folder the preview files go to for a folder text: an absolute folder as it is, a relative one (such
// as "HomeDir") below a per-process folder in the system's temporary folder, never the working directory.
std::string L9PreviewFolder(const std::string& path);
// The preview file of a project in that folder.
std::string L9PreviewFile(const std::string& projectFile, const std::string& path);
// The preview file's content and its reader (false on a file that is not a complete preview).
std::string L9SerializeDocument(const TL9Document& doc);
bool L9ParseDocument(const std::string& bytes, TL9Document& doc);
// A cell's printed text from a field's contents and type: dates as dd.mm.yyyy, line breaks as blanks.
std::string L9FormatField(const std::string& contents, int type);
