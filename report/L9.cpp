#include "report/L9.h"

#include "dataset/DB.h"
#include "dataset/DateTimeUtil.h"
#include "report/L9Engine.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <utility>
#include <vector>

namespace {

// No event handler is assigned, so every notification is answered with 0.
intptr_t Notification(int, intptr_t, void*) {
    return 0;
}

// The configuration as engine options, in the order they are set: the options before the rich-text
// version, then those after it.
struct TOpt {
    int Option;
    intptr_t Value;
};
const TOpt BeforeRtf[] = {{8, 1}, {42, 1}, {40, 1}, {46, 1}};
const TOpt AfterRtf[] = {{51, 1}, {50, 1},   {19, 0}, {21, 0}, {47, 0}, {49, 0},   {20, 1},   {0, 1},
                         {33, 0}, {32, 0},   {48, 1}, {1, 0},  {41, 0}, {23, 182}, {15, 247}, {54, 2},
                         {55, 3}, {56, 164}, {66, 1}, {11, 1}, {9, 1},  {30, 1},   {10, 1},   {2, 0},
                         {5, 0},  {43, 0},   {13, 0}, {22, 0}, {78, 0}, {79, 0},   {81, 0},   {99, 0}};

constexpr unsigned DlgboxOffice97 = 10;
constexpr unsigned Dlgbox3DButtons = 0x8000;
constexpr unsigned DlgboxNoBitmaps = 0x2000;

// Restores the data set's position and its controls when the print ends, however it ends.
class TWalkGuard {
public:
    explicit TWalkGuard(TDataSet* ds) : ds_(ds) {
        if (!ds_ || !ds_->Active()) {
            ds_ = nullptr;
            return;
        }
        ds_->DisableControls();
        if (!ds_->IsEmpty()) bookmark_ = ds_->GetBookmark();
    }
    ~TWalkGuard() {
        if (!ds_) return;
        try {
            if (!bookmark_.empty()) ds_->GotoBookmark(bookmark_);
        } catch (...) {
            // a record that went away meanwhile: stay where the walk ended
        }
        ds_->EnableControls();
    }

private:
    TDataSet* ds_;
    TBookmark bookmark_;
};

} // namespace

void (*TL9::ShowMessage)(const std::string&, const std::string&) = nullptr;

TL9::TL9() {
    OpenJob();
    if (job_ < 0) {
        if (ShowMessage) ShowMessage("Can't find the List & Label default language file.", "Error");
    }
    ApplyConfiguration();
}

TL9::~TL9() {
    if (job_ >= 0) LlJobClose(job_);
}

void TL9::OpenJob() {
    for (int lang = -1; lang <= 41; ++lang) {
        const int job = LlJobOpen(lang);
        if (job >= 0) {
            job_ = job;
            language_ = lang + 1;
            return;
        }
    }
    job_ = -1;
}

void TL9::ApplyConfiguration() {
    LlSetNotificationCallback(job_, Notification, this);
    for (const TOpt& o : BeforeRtf)
        LlSetOption(job_, o.Option, o.Value);
    // The rich-text version is a global option: the job is reopened in its language after it is set, and
    // every option is set again on the new job (also the ones set before, which the old job took along).
    if (job_ >= 0) LlJobClose(job_);
    LlSetOption(-1, LL_OPTION_MAXRTFVERSION, 768);
    job_ = LlJobOpen(language_ - 1);
    if (job_ < 0) job_ = -1;
    LlSetNotificationCallback(job_, Notification, this);
    for (const TOpt& o : BeforeRtf)
        LlSetOption(job_, o.Option, o.Value);
    LlSetOption(job_, 42, autoMultipage_ ? 1 : 0);
    ApplyDialogBoxMode();
    for (const TOpt& o : AfterRtf)
        LlSetOption(job_, o.Option, o.Value);
    LlSetOption(job_, 9, sortVariables_ ? 1 : 0);
    LlSetOption(job_, 47, delayTableHeader_ ? 1 : 0);
    LlSetOptionStringA(job_, LL_OPTIONSTR_PROJECTPASSWORD, "");
}

void TL9::ApplyDialogBoxMode() {
    LlSetDlgboxMode(DlgboxOffice97 | (buttons3D_ ? Dlgbox3DButtons : 0) |
                    (buttonsWithBitmaps_ ? 0 : DlgboxNoBitmaps));
}

void TL9::SetSortVariables(bool on) {
    sortVariables_ = on;
    LlSetOption(job_, 9, on ? 1 : 0);
}

void TL9::SetButtons3D(bool on) {
    buttons3D_ = on;
    ApplyDialogBoxMode();
}

void TL9::SetButtonsWithBitmaps(bool on) {
    buttonsWithBitmaps_ = on;
    ApplyDialogBoxMode();
}

void TL9::SetAutoMultipage(bool on) {
    autoMultipage_ = on;
    LlSetOption(job_, 42, on ? 1 : 0);
}

void TL9::SetDelayTableHeader(bool on) {
    delayTableHeader_ = on;
    LlSetOption(job_, 47, on ? 1 : 0);
}

// ---- TDBL9 ----

TDBL9::TDBL9() = default;

int TDBL9::FieldTypeCode(const TField& field) {
    switch (field.DataType()) {
    case ftSmallint:
    case ftInteger:
    case ftWord:
    case ftFloat:
        return LL_NUMERIC;
    case ftBoolean:
        return LL_BOOLEAN;
    case ftDate:
        return LL_DATE_DAYNUMBER;
    case ftBlob:
        return LL_BINARY;
    default:
        return LL_TEXT;
    }
}

std::string TDBL9::FieldContents(const TField& field) {
    const std::string text = field.IsNull() ? std::string() : field.AsString();
    if (field.DataType() != ftDate) return text;
    TDateTime day = 0;
    if (text.empty() || !TryStrToDateTime(text, day)) return "1e100";
    char buf[40];
    auto [p, ec] = std::to_chars(buf, buf + sizeof buf, double(day));
    return std::string(buf, ec == std::errc() ? p : buf);
}

void TDBL9::ConfigureForWorksheet(TDataSource* source) {
    SetSortVariables(true);
    SetButtons3D(true);
    SetButtonsWithBitmaps(false);
    SetAutoDefine(true);
    SetDataSource(source);
    AutoMasterMode = TL9AutoMasterMode::None;
    AutoShowPrintOptions = false;
    AutoShowSelectFile = false;
    AutoProjectType = TL9ProjectType::ListProject;
    AutoDestination = TL9Destination::Preview;
}

void TDBL9::DefineFields(TDataSet* ds, bool moveNext) {
    if (!ds || !ds->Active()) {
        eof_ = true;
        return;
    }
    for (int i = 0; i < ds->FieldCount(); ++i) {
        const TField* f = ds->Fields(i);
        LlDefineFieldExtA(job_, f->FieldName(), FieldContents(*f), FieldTypeCode(*f), 0);
    }
    eof_ = ds->Eof();
    if (moveNext) {
        ds->Next();
        ++recordCounter_;
        eof_ = ds->Eof();
    }
}

int TDBL9::PrintProject(intptr_t, TL9ProjectType projectType, const std::string& projectFile, bool,
                        int printOptions, int boxType, void* parent, const std::string& title,
                        bool showPrintOptions, const std::string& previewTempPath) {
    const bool autoMultipage = autoMultipage_;
    const bool delayTableHeader = delayTableHeader_;
    TDataSet* ds = dataSource_ ? dataSource_->DataSet() : nullptr;
    if (ds && !ds->Active()) ds = nullptr;
    TWalkGuard guard(ds);

    LlDefineVariableStart(job_);
    LlDefineChartFieldStart(job_);
    if (ds) ds->First();
    LlDefineFieldStart(job_);
    if (ds) ds->First();
    recordCounter_ = 0;
    DefineFields(ds, false);
    eof_ = !ds || ds->Eof();

    const int started =
        LlPrintWithBoxStartA(job_, int(projectType), projectFile, printOptions, boxType, parent, title);
    if (started < 0) return started;
    try {
        return PrintStarted(projectType, projectFile, parent, title, showPrintOptions, previewTempPath,
                            autoMultipage, delayTableHeader);
    } catch (...) {
        // A data set that fails while it is walked: the job ends without output and is ready for the next
        // print; the error goes on to the caller.
        LlPrintEnd(job_, LL_PRINTEND_DISCARD);
        if (!autoMultipage) LlSetOption(job_, 42, 0);
        if (!delayTableHeader) LlSetOption(job_, 47, 0);
        throw;
    }
}

int TDBL9::PrintStarted(TL9ProjectType projectType, const std::string& projectFile, void* parent,
                        const std::string& title, bool showPrintOptions, const std::string& previewTempPath,
                        bool autoMultipage, bool delayTableHeader) {
    TDataSet* ds = dataSource_ ? dataSource_->DataSet() : nullptr;
    if (ds && !ds->Active()) ds = nullptr;
    int result = LL_OK;

    if (showPrintOptions) {
        LlPrintSetOption(job_, projectType == TL9ProjectType::ListProject ? LL_PRNOPT_ONLYPRINTERCOPIES : 0,
                         1);
        LlPrintSetOption(job_, LL_PRNOPT_STARTPAGE, -32768);
        result = LlPrintOptionsDialogA(job_, parent, title);
        if (result < 0) {
            LlPrintEnd(job_, 0);
            return result;
        }
        LlPrintSetOption(job_, LL_PRNOPT_STARTPAGE, 1);
    }

    char printer[128] = {0};
    char port[40] = {0};
    LlPrintGetPrinterInfoA(job_, printer, sizeof printer - 1, port, sizeof port - 1);
    const std::string boxText = printer;

    const bool preview = LlPrintGetOption(job_, LL_PRNOPT_DEST) == LL_DEST_PREVIEW;
    if (preview) LlPreviewSetTempPathA(job_, previewTempPath);
    if (LlPrintGetOption(job_, LL_PRNOPT_COPIES_SUPPORTED) == 0) LlPrintSetOption(job_, LL_PRNOPT_COPIES, 1);
    LlSetOption(job_, 42, 1);
    LlSetOption(job_, 47, 1);
    auto restore = [&]() {
        if (!autoMultipage) LlSetOption(job_, 42, 0);
        if (!delayTableHeader) LlSetOption(job_, 47, 0);
    };

    const int recordCount = ds ? ds->RecordCount() : 0;
    recordCounter_ = 0;
    bool repeatLine = false;
    bool done = false;
    while (!done) {
        result = LlPrint(job_);
        if (result < 0) break;
        for (;;) {
            if (!repeatLine) {
                if (eof_) {
                    done = true;
                    break;
                }
                DefineFields(ds, true);
            }
            // The records defined before the current one, as a share of all.
            const int before = recordCounter_ - 1;
            int percent = recordCount > 0 ? int(std::lround(100.0 * before / recordCount)) : 100;
            percent = std::clamp(percent, 0, 100);
            if (LlPrintSetBoxTextA(job_, boxText, percent) == LL_ERR_USER_ABORTED) {
                LlPrintEnd(job_, 0);
                restore();
                return LL_ERR_USER_ABORTED;
            }
            result = LlPrintFields(job_);
            if (result == LL_WRN_REPEAT_DATA) {
                repeatLine = true;
                break;
            }
            repeatLine = false;
            if (result < 0) {
                done = true;
                break;
            }
        }
    }

    if (result >= 0) {
        do {
            result = LlPrintFieldsEnd(job_);
        } while (result == LL_WRN_REPEAT_DATA);
    }
    const int endResult = LlPrintEnd(job_, 0);
    if (result >= 0) result = endResult;
    restore();

    if (preview && result >= 0) {
        result = LlPreviewDisplayA(job_, projectFile, previewTempPath, parent);
    }
    // The preview's files go whatever the display returned.
    if (preview) LlPreviewDeleteFilesA(job_, projectFile, previewTempPath);
    return result;
}
