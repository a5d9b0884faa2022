// The grid's walks over every row in the form that runs on any thread: fetching to the end and the column
// summaries, counting their rows and stopping between them.
#include "grid/QxGridWork.h"
#include "tests/oracle/OraE2e.h"

#include <gtest/gtest.h>

#include <atomic>
#include <vector>

namespace {

struct TBench {
    oratest::TRig rig;
    TOraQuery q;
    explicit TBench(int fetchRows) : rig(Options()), q(rig.s.get()) {
        q.SetFetchRows(fetchRows);
        q.SetSQL("SELECT ID FROM BENCH ORDER BY ID");
        q.Open();
    }
    static vemu::EmuOptions Options() {
        vemu::EmuOptions o;
        o.benchRows = 100;
        return o;
    }
    std::string Text(const TSummaryValue& v, TSummaryMode m) { return SummaryFormat(v, m, {}); }
};

TEST(GridWork, FetchToEndCountsTheRowsAndAStopKeepsWhatCame) {
    TBench b(10);
    b.q.Next();
    b.q.Next();
    ASSERT_EQ(b.q.RecNo(), 3);
    std::atomic<long> rows{0};
    int asked = 0;
    // Three blocks pass, the fourth is not asked for.
    EXPECT_THROW(FetchToEnd(
                     b.q, [&] { return ++asked > 3; }, &rows),
                 EWalkStopped);
    EXPECT_EQ(b.q.RecordCount(), 40);
    EXPECT_EQ(rows.load(), 40);
    EXPECT_EQ(b.q.RecNo(), 3);
    EXPECT_EQ(b.q.Fields(0)->AsInteger(), 3);
    EXPECT_FALSE(b.q.AllRowsFetched());
    // Asked again it goes on from there to the last record.
    FetchToEnd(b.q, nullptr, &rows);
    EXPECT_EQ(rows.load(), 100);
    EXPECT_EQ(b.q.RecNo(), 100);
    EXPECT_EQ(b.q.Fields(0)->AsInteger(), 100);
    EXPECT_TRUE(b.q.AllRowsFetched());
}

TEST(GridWork, SummariesWalkEveryRowAndAStoppedWalkGoesBackWhereItStarted) {
    TBench b(25);
    for (int i = 0; i < 4; ++i)
        b.q.Next();
    ASSERT_EQ(b.q.RecNo(), 5);
    TField* id = b.q.Fields(0);
    const std::vector<TSummaryJob> jobs{{id, smSum}, {id, smMax}, {id, smMin}, {id, smAvr}};
    std::atomic<long> rows{0};
    int asked = 0;
    EXPECT_THROW(WalkSummaries(
                     b.q, jobs, [&] { return ++asked > 30; }, &rows),
                 EWalkStopped);
    EXPECT_EQ(rows.load(), 30); // one ask before the first record, one after each record
    EXPECT_EQ(b.q.RecNo(), 5);
    EXPECT_FALSE(b.q.ControlsDisabled());

    const std::vector<TSummaryValue> v = WalkSummaries(b.q, jobs, nullptr, &rows);
    ASSERT_EQ(v.size(), 4u);
    EXPECT_EQ(b.Text(v[0], smSum), "5050");
    EXPECT_EQ(b.Text(v[1], smMax), "100");
    EXPECT_EQ(b.Text(v[2], smMin), "1");         // starts from the current record's 5
    const std::string avg = b.Text(v[3], smAvr); // with the locale's decimal separator
    EXPECT_TRUE(avg == "50,5" || avg == "50.5") << avg;
    EXPECT_EQ(rows.load(), 100);
    EXPECT_EQ(b.q.RecordCount(), 100); // the walk fetched every row
    EXPECT_EQ(b.q.RecNo(), 5);
    EXPECT_FALSE(b.q.ControlsDisabled());
}

} // namespace
