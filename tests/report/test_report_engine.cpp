// The report engine without windows: the project reader on the shipped fragments and on broken projects, the
// page geometry, and the component's print walk (page breaks with repeated lines, progress, cancellation,
// errors) against a recording UI.
#include "ReportTestData.h"

#include "app/History.h"
#include "dataset/DB.h"
#include "report/L9.h"
#include "report/L9Engine.h"
#include "report/ListProject.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using reporttest::TempDir;

namespace {

std::string Project(char orientation, const std::vector<TReportColumn>& cols) {
    std::string text;
    for (const std::string& l : BuildListProject(reporttest::FragmentFolder(), orientation, cols))
        text += l + "\r\n";
    return text;
}

// Answers the dialogs as told and records what the engine showed.
class TRecordingUi : public IL9Ui {
public:
    bool AcceptOptions = true;
    int ChooseDestination = LL_DEST_FILE;
    int CancelAtUpdate = -1; // cancel in the progress box at this update (counted from 0)
    std::vector<std::string> Messages;
    std::vector<int> Percents;
    std::vector<std::string> BoxTexts;
    bool BoxOpen = false;
    int Outputs = 0;
    int Previews = 0;
    TL9Document Printed;

    void Message(void*, const std::string& text, const std::string&) override { Messages.push_back(text); }
    bool OptionsDialog(void*, const std::string&, TL9PrintChoice& c) override {
        c.Destination = ChooseDestination;
        c.FileName = "/nowhere/out.pdf";
        return AcceptOptions;
    }
    void ProgressOpen(void*, const std::string&) override { BoxOpen = true; }
    bool ProgressUpdate(const std::string& text, int percent) override {
        BoxTexts.push_back(text);
        Percents.push_back(percent);
        return int(Percents.size()) - 1 != CancelAtUpdate;
    }
    void ProgressClose() override { BoxOpen = false; }
    int Output(const TL9Document& doc, const TL9PrintChoice&, void*) override {
        ++Outputs;
        Printed = doc;
        return LL_OK;
    }
    int Preview(const TL9Document& doc, void*, const std::string&) override {
        ++Previews;
        Printed = doc;
        return LL_OK;
    }
};

class ReportEngine : public ::testing::Test {
protected:
    void SetUp() override { L9SetUi(&ui); }
    void TearDown() override { L9SetUi(nullptr); }

    // Prints the data set with the columns ID and NAME through the component as the print action does.
    int Print(TDataSet& ds, char orientation = 'H', TDBL9* component = nullptr) {
        const std::string file = dir.File("bnxrep.lst");
        WriteWholeFile(file, Project(orientation, {{"ID", "", 60}, {"NAME", "", 150}}));
        TDataSource source(&ds);
        TDBL9 own;
        TDBL9& comp = component ? *component : own;
        comp.SetDataSource(&source);
        const int r = comp.PrintProject(0, TL9ProjectType::ListProject, file, false, LL_PRINT_USERSELECT, 2,
                                        nullptr, "Test", true, "HomeDir");
        comp.SetDataSource(nullptr);
        return r;
    }

    TRecordingUi ui;
    TempDir dir{"reportengine"};
};

} // namespace

TEST(ReportProjectReader, ShippedFragmentsWithColumnBlocks) {
    const TL9Layout l = ReadL9Layout(Project('H', {{"DEPTNO", "", 64}, {"DNAME", "", 100}}));
    EXPECT_FALSE(l.Landscape);
    EXPECT_LT(l.PaperWidth, l.PaperHeight);
    ASSERT_EQ(l.DataLine.size(), 2u);
    ASSERT_EQ(l.HeaderLine.size(), 2u);
    EXPECT_EQ(l.DataLine[0].Width, 24960);
    EXPECT_EQ(l.DataLine[1].Width, 39000);
    EXPECT_FALSE(l.DataLine[0].Literal);
    EXPECT_EQ(l.DataLine[0].Text, "DEPTNO");
    EXPECT_FALSE(l.DataLine[0].Fill);
    EXPECT_TRUE(l.HeaderLine[1].Literal);
    EXPECT_EQ(l.HeaderLine[1].Text, "DNAME");
    EXPECT_TRUE(l.HeaderLine[1].Fill);
    EXPECT_EQ(l.HeaderLine[1].BkColor, 0xE0E0E0u);
    EXPECT_EQ(l.DataLine[0].Font.Name, "Arial");
    EXPECT_EQ(l.DataLine[0].Font.SizePt, 12);
    EXPECT_EQ(l.DataLine[0].PadLeft, 1000);
    EXPECT_EQ(l.DataLine[0].PadTop, 500);
    EXPECT_TRUE(l.DataLine[0].Separator);
    EXPECT_NE(l.FooterRight.find("{Page}"), std::string::npos);
    EXPECT_NE(l.FooterRight.find("{Pages}"), std::string::npos);
    EXPECT_NE(l.FooterLeft.find("{Date}"), std::string::npos);

    const TL9Layout q = ReadL9Layout(Project('Q', {{"DEPTNO", "", 64}}));
    EXPECT_TRUE(q.Landscape);
    EXPECT_GT(q.PaperWidth, q.PaperHeight);
}

TEST(ReportProjectReader, GeometryScalesAWideTableDownToThePage) {
    const TL9Layout narrow = ReadL9Layout(Project('H', {{"A", "", 64}, {"B", "", 100}}));
    const TL9PageGeometry g = L9Geometry(narrow);
    EXPECT_EQ(g.Scale, 1.0);
    EXPECT_DOUBLE_EQ(g.ColumnX[1] - g.ColumnX[0], 24960);
    EXPECT_GT(g.LinesPerPage, 30);
    EXPECT_LT(g.LinesPerPage, 60);

    std::vector<TReportColumn> wide;
    for (int i = 0; i < 12; ++i)
        wide.push_back({"C" + std::to_string(i), "", 120});
    const TL9Layout l = ReadL9Layout(Project('H', wide));
    const TL9PageGeometry w = L9Geometry(l);
    EXPECT_LT(w.Scale, 1.0);
    EXPECT_NEAR(w.ColumnX.back() + w.ColumnWidth.back() - w.Left, w.PrintableWidth, 1e-6);
    // Smaller fonts give smaller lines, so more of them fit.
    EXPECT_GT(w.LinesPerPage, g.LinesPerPage);
    // Landscape pages hold fewer lines.
    EXPECT_LT(L9Geometry(ReadL9Layout(Project('Q', {{"A", "", 64}}))).LinesPerPage, g.LinesPerPage);
}

TEST(ReportProjectReader, BrokenProjectsGiveClearErrors) {
    const std::string page = "[Page]\n{\n}\n";
    const std::string table = "[Table]\n{\n[DataLine]\n{\n}\n}\n";
    struct Case {
        std::string text, expect;
    } cases[] = {
        {"", "[Page]"},
        {page, "[Table]"},
        {page + "[Table]\n{\n}\n", "[DataLine]"},
        {"[Page]\nx=1\n", "Zeile 2: '{' erwartet"},
        {"[Page]\n{\n", "Zeile 1: Abschnitt [Page] wird nicht geschlossen"},
        {"}\n", "Zeile 1: '}' ohne"},
        {"[Page\n{\n}\n", "Zeile 1: unvollst"},
        {"just text\n", "Zeile 1: weder Abschnitt noch Wert"},
        {"=1\n", "Zeile 1: weder"},
        {"[Page]\n{\nOrientation=Sideways\n}\n" + table, "Sideways"},
        {"[Page]\n{\nPaperWidth=abc\n}\n" + table, "PaperWidth=abc"},
        {"[Page]\n{\n[Margins]\n{\nLeft=200000\n}\n}\n" + table, "20 mm"},
        {page + "[Table]\n{\n[DataLine]\n{\n[Columns]\n{\n[Column]\n{\nBkColor=RGB(1,2)\n}\n}\n}\n}\n",
         "RGB"},
        {page + "[Table]\n{\n[DataLine]\n{\n[Columns]\n{\n[Column]\n{\nWidth=-5\n}\n}\n}\n}\n", "Width=-5"},
        {page + "[Table]\n{\n[DataLine]\n{\n[Columns]\n{\n[Column]\n{\n[Font]\n{\nSize=0\n}\n}\n}\n}\n}\n",
         "Size=0"},
        {page + "[Table]\n{\n[DataLine]\n{\n[Columns]\n{\n[Column]\n{\nbFill=maybe\n}\n}\n}\n}\n", "bFill"},
    };
    for (const Case& c : cases) {
        try {
            ReadL9Layout(c.text);
            ADD_FAILURE() << "accepted: " << c.text;
        } catch (const EL9ProjectError& e) {
            EXPECT_NE(std::string(e.what()).find(c.expect), std::string::npos)
                << c.text << " -> " << e.what();
        }
    }
    std::string deep;
    for (int i = 0; i < 40; ++i)
        deep += "[S]\n{\n";
    EXPECT_THROW(ParseL9Sections(deep), EL9ProjectError);
    // A minimal project with lone CR line ends and comments reads.
    EXPECT_NO_THROW(ReadL9Layout("; comment\r[Page]\r{\r}\r[Table]\r{\r[DataLine]\r{\r}\r}\r"));
}

TEST_F(ReportEngine, ComponentConfigurationReachesTheEngine) {
    TDBL9 comp;
    ASSERT_GE(comp.Job(), 0);
    EXPECT_EQ(comp.Language(), 0);
    EXPECT_EQ(LlGetOption(-1, LL_OPTION_MAXRTFVERSION), 768);
    // Options set before the job was reopened for the rich-text version are on the new job too.
    EXPECT_EQ(LlGetOption(comp.Job(), 42), 1);
    EXPECT_EQ(LlGetOption(comp.Job(), 8), 1);
    EXPECT_EQ(LlGetOption(comp.Job(), 23), 182);
    EXPECT_EQ(LlGetOption(comp.Job(), 15), 247);
    EXPECT_EQ(LlGetOption(comp.Job(), 56), 164);
    EXPECT_EQ(LlGetOption(comp.Job(), 47), 0);
    EXPECT_EQ(LlGetOption(comp.Job(), 9), 1);
    EXPECT_EQ(LlGetDlgboxMode(), 10u | 0x8000u | 0x2000u);
    comp.SetSortVariables(false);
    EXPECT_EQ(LlGetOption(comp.Job(), 9), 0);
    comp.SetButtonsWithBitmaps(true);
    EXPECT_EQ(LlGetDlgboxMode(), 10u | 0x8000u);
    const int job = comp.Job();
    {
        TDBL9 other;
        EXPECT_NE(other.Job(), job);
    }
    EXPECT_EQ(LlGetOption(job, 9), 0); // the other's job closed, not this one
}

TEST_F(ReportEngine, WorksheetSettings) {
    TDataSource source;
    TDBL9 comp;
    comp.SetSortVariables(false);
    comp.SetButtonsWithBitmaps(true);
    comp.AutoDestination = TL9Destination::File;
    comp.ConfigureForWorksheet(&source);
    EXPECT_EQ(comp.DataSource(), &source);
    EXPECT_TRUE(comp.AutoDefine());
    EXPECT_EQ(LlGetOption(comp.Job(), 9), 1);
    EXPECT_EQ(LlGetDlgboxMode(), 10u | 0x8000u | 0x2000u);
    EXPECT_EQ(comp.AutoDestination, TL9Destination::Preview);
    EXPECT_EQ(comp.AutoProjectType, TL9ProjectType::ListProject);
    EXPECT_FALSE(comp.AutoShowPrintOptions);
}

TEST_F(ReportEngine, FieldTypesAndContents) {
    auto ds = reporttest::Rows(1);
    EXPECT_EQ(TDBL9::FieldTypeCode(*ds->Fields(0)), LL_NUMERIC);
    EXPECT_EQ(TDBL9::FieldTypeCode(*ds->Fields(1)), LL_TEXT);
    EXPECT_EQ(TDBL9::FieldTypeCode(*ds->Fields(2)), LL_DATE_DAYNUMBER);
    EXPECT_EQ(TDBL9::FieldContents(*ds->Fields(0)), "1");
    EXPECT_EQ(TDBL9::FieldContents(*ds->Fields(2)), "40001");
    EXPECT_EQ(L9FormatField("40001", LL_DATE_DAYNUMBER), "07.07.2009");
    EXPECT_EQ(L9FormatField("1e100", LL_DATE_DAYNUMBER), "");
    EXPECT_EQ(L9FormatField("a\r\nb", LL_TEXT), "a  b");
    ds->Edit();
    ds->Fields(2)->Clear();
    ds->Post();
    EXPECT_EQ(TDBL9::FieldContents(*ds->Fields(2)), "1e100");
}

TEST_F(ReportEngine, ManyRowsBreakIntoPagesWithEveryRowOnceAndTheHeaderOnEach) {
    auto ds = reporttest::Rows(2000);
    ds->MoveBy(7); // the print starts at the first record and leaves the data set where it was
    const int here = ds->RecNo();
    ASSERT_EQ(Print(*ds), 0);
    EXPECT_EQ(ds->RecNo(), here);
    EXPECT_FALSE(ds->ControlsDisabled());
    EXPECT_EQ(ui.Outputs, 1);
    EXPECT_FALSE(ui.BoxOpen);
    const TL9Document& doc = ui.Printed;
    const int per = doc.Geometry.LinesPerPage;
    ASSERT_EQ(int(doc.Pages.size()), (2000 + per - 1) / per);
    int next = 1;
    for (const TL9Page& p : doc.Pages) {
        EXPECT_EQ(p.Header, (std::vector<std::string>{"ID", "NAME"}));
        ASSERT_EQ(p.Cells.size(), size_t(p.Rows) * 2);
        for (int r = 0; r < p.Rows; ++r, ++next) {
            EXPECT_EQ(p.Cells[size_t(r) * 2], std::to_string(next));
            EXPECT_EQ(p.Cells[size_t(r) * 2 + 1], "Name " + std::to_string(next));
        }
    }
    EXPECT_EQ(next, 2001);
    // One progress step per line, plus one per repeated line at each page break; rising from 0 to 100.
    EXPECT_EQ(int(ui.Percents.size()), 2000 + int(doc.Pages.size()) - 1);
    EXPECT_EQ(ui.Percents.front(), 0);
    EXPECT_EQ(ui.Percents.back(), 100);
    EXPECT_TRUE(std::is_sorted(ui.Percents.begin(), ui.Percents.end()));
    EXPECT_EQ(ui.BoxTexts.front(), "PDF-Datei");
}

TEST_F(ReportEngine, FieldNamesWithBlanksUmlautsAndOtherCaseFindTheirFields) {
    TMemDataSet ds;
    TData* d = ds.Data();
    d->AutoInitFields = false;
    d->Fields().Clear();
    d->AddFieldDesc(" Stra\xDF"
                    "e ",
                    dtString, 20, 0, false, false);
    d->AddFieldDesc("count(*)", dtInt32, 0, 0, false, false);
    d->InitFields();
    ds.LocalUpdate = true;
    ds.Open();
    ds.AppendRecord({Variant(std::string("Hauptstra\xDF"
                                         "e 1")),
                     Variant(int32_t(7))});
    const std::string file = dir.File("bnxrep.lst");
    WriteWholeFile(file, Project('H', {{" Stra\xDF"
                                        "e ",
                                        "", 100},
                                       {"COUNT(*)", "", 50}}));
    TDataSource source(&ds);
    TDBL9 comp;
    comp.SetDataSource(&source);
    ASSERT_EQ(comp.PrintProject(0, TL9ProjectType::ListProject, file, false, LL_PRINT_USERSELECT, 2, nullptr,
                                "T", true, "HomeDir"),
              0);
    ASSERT_EQ(ui.Printed.Pages.size(), 1u);
    EXPECT_EQ(ui.Printed.Pages[0].Cells, (std::vector<std::string>{"Hauptstra\xDF"
                                                                   "e 1",
                                                                   "7"}));
    EXPECT_EQ(ui.Printed.Pages[0].Header, (std::vector<std::string>{" Stra\xDF"
                                                                    "e ",
                                                                    "COUNT(*)"}));
}

TEST_F(ReportEngine, EmptyResultPrintsTheHeaderOnOnePage) {
    auto ds = reporttest::Rows(0);
    ASSERT_EQ(Print(*ds), 0);
    ASSERT_EQ(ui.Printed.Pages.size(), 1u);
    EXPECT_EQ(ui.Printed.Pages[0].Rows, 0);
    EXPECT_EQ(ui.Printed.Pages[0].Header.size(), 2u);
}

TEST_F(ReportEngine, CancelInTheOptionsDialogOrTheProgressBox) {
    auto ds = reporttest::Rows(300);
    ui.AcceptOptions = false;
    EXPECT_EQ(Print(*ds), LL_ERR_USER_ABORTED);
    EXPECT_EQ(ui.Outputs, 0);
    EXPECT_TRUE(ui.Percents.empty());
    EXPECT_FALSE(ui.BoxOpen);

    ui.AcceptOptions = true;
    ui.CancelAtUpdate = 120;
    EXPECT_EQ(Print(*ds), LL_ERR_USER_ABORTED);
    EXPECT_EQ(ui.Outputs, 0);
    EXPECT_EQ(ui.Percents.size(), 121u);
    EXPECT_FALSE(ui.BoxOpen);

    // The job is usable again after a cancel.
    ui.CancelAtUpdate = -1;
    EXPECT_EQ(Print(*ds), 0);
    EXPECT_EQ(ui.Outputs, 1);
}

// A data set whose field reads fail once armed, as a lost connection would.
class TFailingRows : public TMemDataSet {
public:
    int FailAfter = -1;
    bool GetFieldData(const TField* field, void* buffer) override {
        if (FailAfter >= 0 && FailAfter-- == 0) throw EDatabaseError("Verbindung verloren");
        return TMemDataSet::GetFieldData(field, buffer);
    }
};

TEST_F(ReportEngine, ADataSetFailingInTheWalkEndsTheJobAndTheNextPrintWorks) {
    auto ds = reporttest::Rows<TFailingRows>(200);
    ds->FailAfter = 250;
    TDBL9 comp;
    EXPECT_THROW(Print(*ds, 'H', &comp), EDatabaseError);
    EXPECT_FALSE(ui.BoxOpen);
    EXPECT_EQ(ui.Outputs, 0);
    EXPECT_FALSE(ds->ControlsDisabled());
    ds->FailAfter = -1;
    EXPECT_EQ(Print(*ds, 'H', &comp), 0);
    EXPECT_EQ(ui.Outputs, 1);
}

TEST_F(ReportEngine, PreviewGoesThroughATemporaryFileThatIsDeleted) {
    TempDir tmp("reporttmp");
    setenv("TMPDIR", tmp.Str().c_str(), 1);
    auto ds = reporttest::Rows(100);
    ui.ChooseDestination = LL_DEST_PREVIEW;
    const int r = Print(*ds);
    unsetenv("TMPDIR");
    EXPECT_EQ(r, 0);
    EXPECT_EQ(ui.Previews, 1);
    EXPECT_EQ(ui.Outputs, 0);
    ASSERT_FALSE(ui.Printed.Pages.empty());
    EXPECT_EQ(ui.Printed.Pages[0].Cells[1], "Name 1");
    EXPECT_TRUE(fs::is_empty(tmp.Str())) << "left behind in " << tmp.Str();
    EXPECT_EQ(L9PreviewFolder("/abs/dir"), "/abs/dir");
    EXPECT_TRUE(fs::path(L9PreviewFolder("HomeDir")).is_absolute());
}

TEST_F(ReportEngine, ProjectsTheEngineCannotReadEndWithANegativeCodeAndAMessage) {
    auto ds = reporttest::Rows(3);
    TDataSource source(ds.get());
    TDBL9 comp;
    comp.SetDataSource(&source);
    const std::string file = dir.File("bnxrep.lst");
    WriteWholeFile(file, "[Page]\r\n{\r\n");
    EXPECT_EQ(comp.PrintProject(0, TL9ProjectType::ListProject, file, false, LL_PRINT_USERSELECT, 2, nullptr,
                                "T", true, "HomeDir"),
              LL_ERR_BAD_PROJECT);
    ASSERT_EQ(ui.Messages.size(), 1u);
    EXPECT_NE(ui.Messages[0].find("kann nicht gelesen werden"), std::string::npos);
    EXPECT_EQ(comp.PrintProject(0, TL9ProjectType::ListProject, dir.File("none.lst"), false,
                                LL_PRINT_USERSELECT, 2, nullptr, "T", true, "HomeDir"),
              LL_ERR_NO_PROJECT);
    EXPECT_EQ(comp.PrintProject(0, TL9ProjectType::LabelProject, file, false, LL_PRINT_USERSELECT, 2, nullptr,
                                "T", true, "HomeDir"),
              LL_ERR_BAD_PROJECTTYPE);
    EXPECT_EQ(ui.Outputs, 0);
    EXPECT_FALSE(ui.BoxOpen);
    // Calls outside a print job and on a closed job fail instead of doing anything.
    EXPECT_EQ(LlPrintFields(comp.Job()), LL_ERR_NOT_PRINTING);
    EXPECT_EQ(LlPrint(12345), LL_ERR_BAD_JOB);
}

TEST(ReportPreviewFile, RoundTripAndTruncatedFilesAreRejected) {
    TL9Document doc;
    doc.ProjectText = Project('H', {{"A", "", 50}, {"B", "", 50}});
    doc.Layout = ReadL9Layout(doc.ProjectText);
    doc.Geometry = L9Geometry(doc.Layout);
    doc.Date = "01.02.2026 10:00";
    doc.Pages.push_back(TL9Page{{"A", "B"}, {"1", "x", "2", std::string("y\0z", 3)}, 2});
    const std::string bytes = L9SerializeDocument(doc);
    TL9Document back;
    ASSERT_TRUE(L9ParseDocument(bytes, back));
    EXPECT_EQ(back.Date, doc.Date);
    ASSERT_EQ(back.Pages.size(), 1u);
    EXPECT_EQ(back.Pages[0].Cells, doc.Pages[0].Cells);
    EXPECT_EQ(back.Layout.DataLine.size(), 2u);
    for (size_t n = 0; n < bytes.size(); n += 7)
        EXPECT_FALSE(L9ParseDocument(bytes.substr(0, n), back)) << n;
    EXPECT_FALSE(L9ParseDocument(bytes + "x", back));
}
