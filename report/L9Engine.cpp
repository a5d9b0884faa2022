#include "report/L9Engine.h"

#include "app/History.h"
#include "dataset/DateTimeUtil.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <map>
#include <memory>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

struct TField {
    std::string Name, Contents;
    int Type = LL_TEXT;
};

struct TJob {
    int Language = 0;
    std::map<int, intptr_t> Options;
    std::map<int, std::string> Strings;
    TLlCallback Callback = nullptr;
    void* CallbackUser = nullptr;
    std::vector<TField> Fields, Variables;
    std::string LastError;

    // The print job.
    bool Printing = false;
    bool Aborted = false;
    bool BoxOpen = false;
    bool PageFull = true; // the next line needs a new page
    int PrintOptions = 0;
    void* Parent = nullptr;
    std::string Title;
    std::string ProjectFile;
    std::map<int, intptr_t> PrintOpts;
    TL9PrintChoice Choice;
    std::string PreviewPath;
    TL9Document Doc;
    std::vector<int> DataField; // per data-line cell: index into Fields, or -1 (literal or unknown)
};

IL9Ui* g_ui = nullptr;
unsigned g_dlgboxMode = 0;
std::map<int, intptr_t> g_globalOptions;
std::map<int, std::unique_ptr<TJob>> g_jobs;
int g_nextJob = 1;

TJob* Job(int job) {
    auto it = g_jobs.find(job);
    return it == g_jobs.end() ? nullptr : it->second.get();
}

bool EqualNoCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

int FindField(const TJob& j, const std::string& name) {
    for (size_t i = 0; i < j.Fields.size(); ++i)
        if (j.Fields[i].Name == name) return int(i);
    for (size_t i = 0; i < j.Fields.size(); ++i)
        if (EqualNoCase(j.Fields[i].Name, name)) return int(i);
    // The project's values lose their outer blanks; a field name with blanks at its ends still finds its
    // field.
    auto trim = [](const std::string& s) {
        const size_t b = s.find_first_not_of(" \t");
        return b == std::string::npos ? std::string() : s.substr(b, s.find_last_not_of(" \t") - b + 1);
    };
    for (size_t i = 0; i < j.Fields.size(); ++i)
        if (trim(j.Fields[i].Name) == name) return int(i);
    return -1;
}

int Error(TJob& j, int code, const std::string& text) {
    j.LastError = text;
    if (g_ui) g_ui->Message(j.Parent, text, "Druckfehler");
    return code;
}

std::string NowText() {
    std::time_t t = std::time(nullptr);
    std::tm tm{};
    localtime_r(&t, &tm);
    char buf[32];
    std::strftime(buf, sizeof buf, "%d.%m.%Y %H:%M", &tm);
    return buf;
}

std::string CellText(const TJob& j, const TL9Cell& c, int field) {
    if (c.Literal) return c.Text;
    if (field < 0) return std::string();
    return L9FormatField(j.Fields[size_t(field)].Contents, j.Fields[size_t(field)].Type);
}

void StartPage(TJob& j) {
    TL9Page p;
    for (const TL9Cell& c : j.Doc.Layout.HeaderLine)
        p.Header.push_back(CellText(j, c, c.Literal ? -1 : FindField(j, c.Text)));
    j.Doc.Pages.push_back(std::move(p));
    j.PageFull = false;
}

void EndJob(TJob& j) {
    if (j.BoxOpen && g_ui) g_ui->ProgressClose();
    j.BoxOpen = false;
    j.Printing = false;
}

// ---- Preview file ----

void PutU32(std::string& out, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out += char((v >> (8 * i)) & 0xFF);
}
void PutText(std::string& out, const std::string& s) {
    PutU32(out, uint32_t(s.size()));
    out += s;
}

struct TReader {
    const std::string& b;
    size_t p = 0;
    bool U32(uint32_t& v) {
        if (b.size() - p < 4) return false;
        v = 0;
        for (int i = 0; i < 4; ++i)
            v |= uint32_t(static_cast<unsigned char>(b[p + size_t(i)])) << (8 * i);
        p += 4;
        return true;
    }
    bool Text(std::string& s) {
        uint32_t n = 0;
        if (!U32(n) || b.size() - p < n) return false;
        s.assign(b, p, n);
        p += n;
        return true;
    }
};

const char PreviewMagic[] = "VL9PREVIEW1\r\n";

} // namespace

void L9SetUi(IL9Ui* ui) {
    g_ui = ui;
}

IL9Ui* L9Ui() {
    return g_ui;
}

// ---- Jobs and options ----

int LlJobOpen(int language) {
    if (language < -1 || language > 41) return LL_ERR_PARAMETER;
    auto j = std::make_unique<TJob>();
    j->Language = language;
    const int handle = g_nextJob++;
    g_jobs[handle] = std::move(j);
    return handle;
}

void LlJobClose(int job) {
    g_jobs.erase(job);
}

int LlSetOption(int job, int option, intptr_t value) {
    if (job == -1) {
        g_globalOptions[option] = value;
        return LL_OK;
    }
    TJob* j = Job(job);
    if (!j) return LL_ERR_BAD_JOB;
    j->Options[option] = value;
    return LL_OK;
}

intptr_t LlGetOption(int job, int option) {
    const std::map<int, intptr_t>* opts = &g_globalOptions;
    if (job != -1) {
        TJob* j = Job(job);
        if (!j) return LL_ERR_BAD_JOB;
        opts = &j->Options;
    }
    auto it = opts->find(option);
    return it == opts->end() ? 0 : it->second;
}

int LlSetOptionStringA(int job, int option, const std::string& text) {
    TJob* j = Job(job);
    if (!j) return LL_ERR_BAD_JOB;
    j->Strings[option] = text;
    return LL_OK;
}

std::string LlGetOptionString(int job, int option) {
    TJob* j = Job(job);
    if (!j) return std::string();
    auto it = j->Strings.find(option);
    return it == j->Strings.end() ? std::string() : it->second;
}

int LlSetDlgboxMode(unsigned mode) {
    g_dlgboxMode = mode;
    return LL_OK;
}

unsigned LlGetDlgboxMode() {
    return g_dlgboxMode;
}

int LlSetNotificationCallback(int job, TLlCallback callback, void* user) {
    TJob* j = Job(job);
    if (!j) return LL_ERR_BAD_JOB;
    j->Callback = callback;
    j->CallbackUser = user;
    return LL_OK;
}

int LlSetDebug(int) {
    return LL_OK;
}

int LlDefineVariableStart(int job) {
    TJob* j = Job(job);
    if (!j) return LL_ERR_BAD_JOB;
    j->Variables.clear();
    return LL_OK;
}

int LlDefineFieldStart(int job) {
    TJob* j = Job(job);
    if (!j) return LL_ERR_BAD_JOB;
    j->Fields.clear();
    return LL_OK;
}

int LlDefineChartFieldStart(int job) {
    return Job(job) ? LL_OK : LL_ERR_BAD_JOB;
}

static int DefineInto(std::vector<TField>& list, const std::string& name, const std::string& contents,
                      int type) {
    for (TField& f : list)
        if (f.Name == name) {
            f.Contents = contents;
            f.Type = type;
            return LL_OK;
        }
    list.push_back(TField{name, contents, type});
    return LL_OK;
}

int LlDefineFieldExtA(int job, const std::string& name, const std::string& contents, int type, intptr_t) {
    TJob* j = Job(job);
    if (!j) return LL_ERR_BAD_JOB;
    if (name.empty()) return LL_ERR_PARAMETER;
    // While printing the set of fields is fixed: the line's cells point at them by position.
    if (j->Printing) {
        const int i = FindField(*j, name);
        if (i >= 0) {
            j->Fields[size_t(i)].Contents = contents;
            j->Fields[size_t(i)].Type = type;
        }
        return LL_OK;
    }
    return DefineInto(j->Fields, name, contents, type);
}

int LlDefineVariableExtA(int job, const std::string& name, const std::string& contents, int type, intptr_t) {
    TJob* j = Job(job);
    if (!j) return LL_ERR_BAD_JOB;
    if (name.empty()) return LL_ERR_PARAMETER;
    return DefineInto(j->Variables, name, contents, type);
}

// ---- The print job ----

int LlPrintWithBoxStartA(int job, int projectType, const std::string& projectFile, int printOptions,
                         int boxType, void* parent, const std::string& title) {
    TJob* j = Job(job);
    if (!j) return LL_ERR_BAD_JOB;
    if (j->Printing) return LL_ERR_ALREADY_PRINTING;
    j->Parent = parent;
    j->Title = title;
    j->LastError.clear();
    if (projectType != LL_PROJECT_LIST)
        return Error(*j, LL_ERR_BAD_PROJECTTYPE, "Nur Listenprojekte k\xF6nnen gedruckt werden.");
    TL9Document doc;
    try {
        doc.ProjectText = ReadWholeFile(projectFile);
    } catch (const EFileError& e) {
        return Error(*j, LL_ERR_NO_PROJECT, e.what());
    }
    try {
        doc.Layout = ReadL9Layout(doc.ProjectText);
    } catch (const EL9ProjectError& e) {
        return Error(*j, LL_ERR_BAD_PROJECT,
                     "Das Projekt " + projectFile + " kann nicht gelesen werden.\r\n" + e.what());
    }
    doc.Geometry = L9Geometry(doc.Layout);
    doc.Date = NowText();
    j->Doc = std::move(doc);
    j->ProjectFile = projectFile;
    j->DataField.clear();
    for (const TL9Cell& c : j->Doc.Layout.DataLine)
        j->DataField.push_back(c.Literal ? -1 : FindField(*j, c.Text));
    j->PrintOptions = printOptions;
    j->PrintOpts.clear();
    j->PrintOpts[LL_PRNOPT_COPIES] = 1;
    j->PrintOpts[LL_PRNOPT_STARTPAGE] = 1;
    j->PrintOpts[LL_PRNOPT_COPIES_SUPPORTED] = 1;
    j->Choice = TL9PrintChoice();
    j->Choice.FileName = LlGetOptionString(job, LL_OPTIONSTR_EXPORTFILE);
    if (printOptions & LL_PRINT_FILE)
        j->Choice.Destination = LL_DEST_FILE;
    else if (printOptions & LL_PRINT_NORMAL)
        j->Choice.Destination = LL_DEST_PRINTER;
    else
        j->Choice.Destination = LL_DEST_PREVIEW;
    j->PrintOpts[LL_PRNOPT_DEST] = j->Choice.Destination;
    j->PreviewPath.clear();
    j->Printing = true;
    j->Aborted = false;
    j->PageFull = true;
    j->BoxOpen = false;
    if (boxType != LL_BOXTYPE_NONE && g_ui) {
        g_ui->ProgressOpen(parent, title);
        j->BoxOpen = true;
    }
    return LL_OK;
}

int LlPrintSetOption(int job, int option, intptr_t value) {
    TJob* j = Job(job);
    if (!j) return LL_ERR_BAD_JOB;
    j->PrintOpts[option] = value;
    if (option == LL_PRNOPT_DEST && value >= LL_DEST_PRINTER && value <= LL_DEST_PREVIEW)
        j->Choice.Destination = int(value);
    if (option == LL_PRNOPT_COPIES) j->Choice.Copies = int(std::clamp<intptr_t>(value, 1, 999));
    return LL_OK;
}

intptr_t LlPrintGetOption(int job, int option) {
    TJob* j = Job(job);
    if (!j) return LL_ERR_BAD_JOB;
    auto it = j->PrintOpts.find(option);
    return it == j->PrintOpts.end() ? 0 : it->second;
}

int LlPrintOptionsDialogA(int job, void* parent, const std::string& title) {
    TJob* j = Job(job);
    if (!j) return LL_ERR_BAD_JOB;
    if (!j->Printing) return LL_ERR_NOT_PRINTING;
    if (!g_ui)
        return Error(*j, LL_ERR_NO_UI,
                     "Der Druckdialog steht ohne Oberfl\xE4"
                     "che nicht zur Verf\xFCgung.");
    j->Choice.CopiesSupported = j->PrintOpts[LL_PRNOPT_COPIES_SUPPORTED] != 0;
    if (!g_ui->OptionsDialog(parent, title, j->Choice)) {
        j->Aborted = true;
        return LL_ERR_USER_ABORTED;
    }
    j->PrintOpts[LL_PRNOPT_DEST] = j->Choice.Destination;
    j->PrintOpts[LL_PRNOPT_COPIES] = j->Choice.Copies;
    return LL_OK;
}

int LlPrintGetPrinterInfoA(int job, char* name, int nameSize, char* port, int portSize) {
    TJob* j = Job(job);
    if (!j) return LL_ERR_BAD_JOB;
    std::string printer, where;
    switch (j->Choice.Destination) {
    case LL_DEST_PRINTER:
        printer = j->Choice.PrinterName.empty() ? "Standarddrucker" : j->Choice.PrinterName;
        break;
    case LL_DEST_FILE:
        printer = "PDF-Datei";
        where = j->Choice.FileName;
        break;
    default:
        printer = "Vorschau";
        break;
    }
    auto copy = [](const std::string& s, char* buf, int size) {
        if (!buf || size <= 0) return;
        const size_t n = std::min(s.size(), size_t(size - 1));
        std::memcpy(buf, s.data(), n);
        buf[n] = 0;
    };
    copy(printer, name, nameSize);
    copy(where, port, portSize);
    return LL_OK;
}

int LlPreviewSetTempPathA(int job, const std::string& path) {
    TJob* j = Job(job);
    if (!j) return LL_ERR_BAD_JOB;
    j->PreviewPath = path;
    return LL_OK;
}

int LlPrint(int job) {
    TJob* j = Job(job);
    if (!j) return LL_ERR_BAD_JOB;
    if (!j->Printing) return LL_ERR_NOT_PRINTING;
    if (j->Aborted) return LL_ERR_USER_ABORTED;
    if (j->PageFull) StartPage(*j);
    return LL_OK;
}

int LlPrintSetBoxTextA(int job, const std::string& text, int percent) {
    TJob* j = Job(job);
    if (!j) return LL_ERR_BAD_JOB;
    if (!j->Printing) return LL_ERR_NOT_PRINTING;
    if (j->Aborted) return LL_ERR_USER_ABORTED;
    if (j->BoxOpen && g_ui && !g_ui->ProgressUpdate(text, std::clamp(percent, 0, 100))) {
        j->Aborted = true;
        return LL_ERR_USER_ABORTED;
    }
    return LL_OK;
}

int LlPrintFields(int job) {
    TJob* j = Job(job);
    if (!j) return LL_ERR_BAD_JOB;
    if (!j->Printing) return LL_ERR_NOT_PRINTING;
    if (j->Aborted) return LL_ERR_USER_ABORTED;
    if (j->Doc.Pages.empty()) StartPage(*j);
    TL9Page& page = j->Doc.Pages.back();
    if (j->PageFull || page.Rows >= j->Doc.Geometry.LinesPerPage) {
        j->PageFull = true;
        return LL_WRN_REPEAT_DATA;
    }
    const auto& cells = j->Doc.Layout.DataLine;
    for (size_t i = 0; i < cells.size(); ++i)
        page.Cells.push_back(CellText(*j, cells[i], j->DataField[i]));
    ++page.Rows;
    return LL_OK;
}

int LlPrintFieldsEnd(int job) {
    TJob* j = Job(job);
    if (!j) return LL_ERR_BAD_JOB;
    if (!j->Printing) return LL_ERR_NOT_PRINTING;
    if (j->Aborted) return LL_ERR_USER_ABORTED;
    return LL_OK; // the table has no footer lines
}

int LlPrintEnd(int job, int flags) {
    TJob* j = Job(job);
    if (!j) return LL_ERR_BAD_JOB;
    if (!j->Printing) return LL_ERR_NOT_PRINTING;
    if (flags & LL_PRINTEND_DISCARD) j->Aborted = true;
    EndJob(*j);
    int result = LL_OK;
    if (!j->Aborted) {
        if (j->Doc.Pages.empty()) StartPage(*j); // an empty table still prints its header on one page
        j->Doc.FirstPage = int(std::clamp<intptr_t>(j->PrintOpts[LL_PRNOPT_STARTPAGE], 1, 1000000));
        if (j->Choice.Destination == LL_DEST_PREVIEW) {
            const std::string file = L9PreviewFile(j->ProjectFile, j->PreviewPath);
            try {
                fs::create_directories(fs::path(file).parent_path());
                // The per-process folder in the shared temporary folder is the user's alone.
                if (!fs::path(j->PreviewPath).is_absolute())
                    fs::permissions(L9PreviewFolder(""), fs::perms::owner_all, fs::perm_options::replace);
                WriteWholeFile(file, L9SerializeDocument(j->Doc));
            } catch (const std::exception& e) {
                result = Error(*j, LL_ERR_OUTPUT, e.what());
            }
        } else if (!g_ui) {
            result = Error(*j, LL_ERR_NO_UI,
                           "Drucker und PDF-Dateien brauchen die Oberfl\xE4"
                           "che.");
        } else {
            result = g_ui->Output(j->Doc, j->Choice, j->Parent);
            if (result < 0) j->LastError = "Die Ausgabe ist fehlgeschlagen.";
        }
    }
    j->Doc.Pages.clear();
    j->Doc.Pages.shrink_to_fit();
    return result;
}

int LlPreviewDisplayA(int job, const std::string& projectFile, const std::string& path, void* parent) {
    TJob* j = Job(job);
    if (!j) return LL_ERR_BAD_JOB;
    TL9Document doc;
    std::string bytes;
    try {
        bytes = ReadWholeFile(L9PreviewFile(projectFile, path));
    } catch (const EFileError& e) {
        return Error(*j, LL_ERR_NO_PREVIEWFILES, e.what());
    }
    if (!L9ParseDocument(bytes, doc))
        return Error(*j, LL_ERR_NO_PREVIEWFILES, "Die Vorschaudatei ist unvollst\xE4ndig.");
    if (!g_ui)
        return Error(*j, LL_ERR_NO_UI,
                     "Die Vorschau braucht die Oberfl\xE4"
                     "che.");
    return g_ui->Preview(doc, parent, j->Title);
}

int LlPreviewDeleteFilesA(int job, const std::string& projectFile, const std::string& path) {
    if (!Job(job)) return LL_ERR_BAD_JOB;
    std::error_code ec;
    const fs::path file = L9PreviewFile(projectFile, path);
    fs::remove(file, ec);
    // The folders the engine created for a relative folder text go as well once they are empty.
    if (!fs::path(path).is_absolute()) {
        fs::path dir = file.parent_path();
        const fs::path base = fs::path(L9PreviewFolder("")).parent_path();
        while (!dir.empty() && dir.string().size() >= base.string().size()) {
            if (!fs::is_empty(dir, ec) || ec) break;
            fs::remove(dir, ec);
            if (dir == base) break;
            dir = dir.parent_path();
        }
    }
    return LL_OK;
}

std::string LlGetLastErrorText(int job) {
    TJob* j = Job(job);
    return j ? j->LastError : std::string();
}

// ---- Helpers ----

std::string L9PreviewFolder(const std::string& path) {
    if (!path.empty() && fs::path(path).is_absolute()) return path;
    const char* tmp = std::getenv("TMPDIR");
    fs::path base = (tmp && *tmp) ? fs::path(tmp) : fs::path("/tmp");
    base /= "vestra-l9-" + std::to_string(long(getpid()));
    return (path.empty() ? base / "" : base / path).string();
}

std::string L9PreviewFile(const std::string& projectFile, const std::string& path) {
    fs::path name = fs::path(projectFile).filename();
    name.replace_extension(".ll");
    return (fs::path(L9PreviewFolder(path)) / name).string();
}

std::string L9SerializeDocument(const TL9Document& doc) {
    std::string out = PreviewMagic;
    PutText(out, doc.ProjectText);
    PutText(out, doc.Date);
    PutU32(out, uint32_t(doc.FirstPage));
    PutU32(out, uint32_t(doc.Pages.size()));
    for (const TL9Page& p : doc.Pages) {
        PutU32(out, uint32_t(p.Header.size()));
        for (const std::string& s : p.Header)
            PutText(out, s);
        PutU32(out, uint32_t(p.Rows));
        PutU32(out, uint32_t(p.Cells.size()));
        for (const std::string& s : p.Cells)
            PutText(out, s);
    }
    return out;
}

bool L9ParseDocument(const std::string& bytes, TL9Document& doc) {
    const size_t magic = sizeof PreviewMagic - 1;
    if (bytes.compare(0, magic, PreviewMagic) != 0) return false;
    TReader r{bytes, magic};
    TL9Document d;
    uint32_t first = 0, pages = 0;
    if (!r.Text(d.ProjectText) || !r.Text(d.Date) || !r.U32(first) || !r.U32(pages)) return false;
    try {
        d.Layout = ReadL9Layout(d.ProjectText);
    } catch (const EL9ProjectError&) {
        return false;
    }
    d.Geometry = L9Geometry(d.Layout);
    d.FirstPage = int(std::min<uint32_t>(first, 1000000));
    const size_t width = d.Layout.DataLine.size();
    for (uint32_t i = 0; i < pages; ++i) {
        TL9Page p;
        uint32_t nh = 0, rows = 0, nc = 0;
        if (!r.U32(nh) || nh > bytes.size()) return false;
        for (uint32_t k = 0; k < nh; ++k) {
            std::string s;
            if (!r.Text(s)) return false;
            p.Header.push_back(std::move(s));
        }
        if (!r.U32(rows) || !r.U32(nc) || nc > bytes.size() || uint64_t(rows) * width != nc ||
            rows > uint32_t(d.Geometry.LinesPerPage))
            return false;
        p.Rows = int(rows);
        for (uint32_t k = 0; k < nc; ++k) {
            std::string s;
            if (!r.Text(s)) return false;
            p.Cells.push_back(std::move(s));
        }
        d.Pages.push_back(std::move(p));
    }
    if (r.p != bytes.size()) return false;
    doc = std::move(d);
    return true;
}

std::string L9FormatField(const std::string& contents, int type) {
    if (type == LL_DATE_DAYNUMBER) {
        double day = 0;
        auto [p, ec] = std::from_chars(contents.data(), contents.data() + contents.size(), day);
        if (ec != std::errc() || p != contents.data() + contents.size() || !(std::fabs(day) < 3e6))
            return std::string();
        return DateToStr(day);
    }
    if (type == LL_BINARY) return contents.empty() ? std::string() : "(Bin\xE4rdaten)";
    std::string s = contents;
    for (char& c : s)
        if (c == '\r' || c == '\n' || c == '\t') c = ' ';
    return s;
}
