// What the grid decides without a window: sort list, ORDER BY texts, filter conditions, summaries, cut texts,
// title levels and proportional widths.
#include "grid/QxGridLogic.h"

#include "dataset/DBErrors.h"

#include <gtest/gtest.h>

TEST(GridSort, ThreeClicksOnOneTitleGiveAscendingDescendingAscending) {
    std::vector<TSortEntry> l;
    ApplyTitleClick(l, 2, false, false);
    EXPECT_EQ(l, (std::vector<TSortEntry>{{2, false}}));
    ApplyTitleClick(l, 2, false, false);
    EXPECT_EQ(l, (std::vector<TSortEntry>{{2, true}}));
    ApplyTitleClick(l, 2, false, false);
    EXPECT_EQ(l, (std::vector<TSortEntry>{{2, false}}));
}
