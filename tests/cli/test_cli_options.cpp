#include "app/ResultText.h"
#include "cli/CliOptions.h"
#include "cli/TablePrinter.h"

#include <gtest/gtest.h>

#include <optional>

namespace {

class Rows : public IResultSource {
public:
    Rows(std::vector<std::string> names, std::vector<std::vector<std::string>> rows)
        : names_(std::move(names)), rows_(std::move(rows)) {}
    int FieldCount() override { return int(names_.size()); }
    std::string FieldName(int i) override { return names_[size_t(i)]; }
    void First() override { at_ = 0; }
    bool Eof() override { return at_ >= rows_.size(); }
    void Next() override { ++at_; }
    std::string FieldText(int i) override { return rows_[at_][size_t(i)]; }

private:
    std::vector<std::string> names_;
    std::vector<std::vector<std::string>> rows_;
    size_t at_ = 0;
};

} // namespace

TEST(CliOptions, ReadsEveryOption) {
    TCliOptions o = ParseCliOptions({"-e",
                                     "select 1 from dual",
                                     "-e",
                                     "commit",
                                     "--format",
                                     "export",
                                     "--sep",
                                     "0D0A",
                                     "--hex",
                                     "--no-header",
                                     "--no-trim",
                                     "--out",
                                     "x.dat",
                                     "--fetch-rows",
                                     "1000",
                                     "--connect-timeout",
                                     "5",
                                     "--param",
                                     "d=10",
                                     "--param",
                                     "name=a=b",
                                     "--commit",
                                     "--continue",
                                     "--timing",
                                     "scott/tiger@127.0.0.1:1521:bnx"});
    EXPECT_EQ(o.exec, (std::vector<std::string>{"select 1 from dual", "commit"}));
    EXPECT_EQ(o.format, TCliOptions::FormatExport);
    EXPECT_EQ(o.sep, "0D0A");
    EXPECT_TRUE(o.hex);
    EXPECT_FALSE(o.header);
    EXPECT_FALSE(o.trim);
    EXPECT_EQ(o.out, "x.dat");
    EXPECT_EQ(o.fetchRows, 1000);
    EXPECT_EQ(o.connectTimeout, 5);
    EXPECT_EQ(o.params, (std::vector<std::pair<std::string, std::string>>{{"d", "10"}, {"name", "a=b"}}));
    EXPECT_TRUE(o.commit && o.keepGoing && o.timing);
    EXPECT_EQ(o.connect, "scott/tiger@127.0.0.1:1521:bnx");

    TCliOptions d = ParseCliOptions({});
    EXPECT_EQ(d.format, TCliOptions::FormatAuto);
    EXPECT_EQ(d.sep, "|");
    EXPECT_TRUE(d.header && d.trim);
    EXPECT_EQ(d.connectTimeout, 20);
}

TEST(CliOptions, RefusesWhatItCannotRead) {
    EXPECT_THROW(ParseCliOptions({"-e"}), EUsageError);
    EXPECT_THROW(ParseCliOptions({"--format", "xml"}), EUsageError);
    EXPECT_THROW(ParseCliOptions({"--fetch-rows", "0"}), EUsageError);
    EXPECT_THROW(ParseCliOptions({"--fetch-rows", "10001"}), EUsageError);
    EXPECT_THROW(ParseCliOptions({"--fetch-rows", "12x"}), EUsageError);
    EXPECT_THROW(ParseCliOptions({"--connect-timeout", "-1"}), EUsageError);
    EXPECT_THROW(ParseCliOptions({"--connect-timeout", "soon"}), EUsageError);
    EXPECT_THROW(ParseCliOptions({"--param", "=1"}), EUsageError);
    EXPECT_THROW(ParseCliOptions({"--bogus"}), EUsageError);
    EXPECT_THROW(ParseCliOptions({"a/b@c", "d/e@f"}), EUsageError);
}

TEST(CliOptions, ConnectStringsSplitLikeTheSession) {
    auto l = SplitConnectString("scott/tiger@host:1521:bnx");
    EXPECT_EQ(l.user, "scott");
    EXPECT_EQ(l.password, "tiger");
    EXPECT_EQ(l.server, "host:1521:bnx");
    l = SplitConnectString("scott@host:1:x");
    EXPECT_EQ(l.user, "scott");
    EXPECT_EQ(l.password, "");
    EXPECT_EQ(l.server, "host:1:x");
    l = SplitConnectString("scott/tiger");
    EXPECT_EQ(l.password, "tiger");
    EXPECT_EQ(l.server, "");
    l = SplitConnectString("system");
    EXPECT_EQ(l.user, "system");
}

TEST(CliTable, ColumnsArePaddedToTheWidestValue) {
    Rows r({"ID", "NAME"}, {{"1", "KING"}, {"10", "a\r\nb"}, {"", "x"}});
    std::string out;
    EXPECT_EQ(PrintTable(r, [&](const std::string& s) { out += s; }), 3);
    EXPECT_EQ(out, "ID | NAME\n"
                   "-- | ----\n"
                   "1  | KING\n"
                   "10 | a  b\n"
                   "   | x\n");
    Rows empty({"A"}, {});
    out.clear();
    EXPECT_EQ(PrintTable(empty, [&](const std::string& s) { out += s; }), 0);
    EXPECT_EQ(out, "A\n-\n");
}
