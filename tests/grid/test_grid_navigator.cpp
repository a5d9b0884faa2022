// The data navigator over a query of the emulator: buttons follow the state, hints in two parts.
#include "GridRig.h"

#include "grid/DBNavigator.h"

#include <QToolButton>

#include <gtest/gtest.h>

TEST(Navigator, ButtonsFollowPositionAndStateAndMoveTheGrid) {
    TGridRig g;
    g.Exec("CREATE TABLE ITEMS (ID NUMBER, NAME VARCHAR2(20))");
    g.Exec("INSERT INTO ITEMS VALUES (1, 'one')");
    g.Exec("INSERT INTO ITEMS VALUES (2, 'two')");
    g.Exec("INSERT INTO ITEMS VALUES (3, 'three')");
    TDBNavigator nav;
    nav.SetDataSource(g.src.get());
    EXPECT_FALSE(nav.Button(nbFirst)->isEnabled()); // closed
    g.qry->LocalUpdate = true;                      // edits stay in the store
    g.Open("SELECT ID, NAME FROM ITEMS ORDER BY ID");
    EXPECT_FALSE(nav.Button(nbFirst)->isEnabled());
    EXPECT_FALSE(nav.Button(nbPrior)->isEnabled());
    EXPECT_TRUE(nav.Button(nbNext)->isEnabled());
    EXPECT_FALSE(nav.Button(nbPost)->isEnabled());
    EXPECT_EQ(nav.Button(nbNext)->toolTip(), QString::fromUtf8("Nächster Datensatz"));
    EXPECT_EQ(nav.Button(nbNext)->statusTip(), QString::fromUtf8("Zum nächsten Datensatz"));
    nav.Button(nbLast)->click();
    EXPECT_EQ(g.qry->RecNo(), 3);
    EXPECT_EQ(g.grid->currentIndex().row(), 2);
    EXPECT_FALSE(nav.Button(nbNext)->isEnabled());
    nav.Button(nbPrior)->click();
    EXPECT_EQ(g.grid->currentIndex().row(), 1);
    nav.Button(nbEdit)->click();
    EXPECT_EQ(g.qry->State(), dsEdit);
    EXPECT_TRUE(nav.Button(nbPost)->isEnabled());
    EXPECT_TRUE(nav.Button(nbCancel)->isEnabled());
    EXPECT_FALSE(nav.Button(nbEdit)->isEnabled());
    nav.Button(nbCancel)->click();
    EXPECT_EQ(g.qry->State(), dsBrowse);
    nav.Button(nbFirst)->click();
    EXPECT_EQ(g.grid->currentIndex().row(), 0);
    EXPECT_TRUE(g.errors.empty());
}
