// The colours of our own on a light and on a dark desktop palette, and the pictures at 200 % scale: every
// colour the program sets itself keeps its text readable (WCAG contrast), and what it draws is drawn at the
// screen's scale. With VESTRA_SNAPSHOT_DIR set, the main window, the grid with its bars, the workbench, the
// info window and the connect dialog are saved as pictures ("-dark" or "-light", "-2x" at QT_SCALE_FACTOR=2).
#include "app/gui/DataModule1.h"
#include "app/gui/FInfo.h"
#include "app/gui/FQuickView.h"
#include "app/gui/Icons.h"
#include "connect/ConnectForm.h"
#include "grid/QxGridHeader.h"
#include "grid/ThemeColors.h"
#include "tests/Snapshot.h"
#include "tests/gui/WorksheetRig.h"

#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>

namespace {

QString Suffix(const char* palette) {
    return QString::fromLatin1(palette) + (qApp->devicePixelRatio() > 1.5 ? "-2x" : "");
}

void Picture(QWidget& w, const char* what, const char* palette) {
    vtest::Snapshot(w, (QString::fromLatin1(what) + "-" + Suffix(palette)).toUtf8().constData());
}

QPalette DarkPalette() {
    QPalette p(QColor(0x35, 0x35, 0x35), QColor(0x2d, 0x2d, 0x2d));
    for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText, QPalette::BrightText})
        p.setColor(role, QColor(0xee, 0xee, 0xee));
    p.setColor(QPalette::Base, QColor(0x1e, 0x1e, 0x1e));
    p.setColor(QPalette::AlternateBase, QColor(0x2a, 0x2a, 0x2a));
    p.setColor(QPalette::Highlight, QColor(0x2a, 0x82, 0xda));
    p.setColor(QPalette::HighlightedText, Qt::white);
    p.setColor(QPalette::ToolTipBase, QColor(0x3c, 0x3c, 0x3c));
    p.setColor(QPalette::ToolTipText, QColor(0xf0, 0xf0, 0xf0));
    return p;
}

// The smallest contrast between the opaque ink of a mark and the ground it is drawn on.
double InkContrast(const QPixmap& mark, const QColor& ground) {
    const QImage img = mark.toImage().convertToFormat(QImage::Format_ARGB32);
    double worst = 21;
    int inked = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x) {
            const QColor c = img.pixelColor(x, y);
            if (c.alpha() < 250) continue;
            ++inked;
            worst = std::min(worst, theme::Contrast(c, ground));
        }
    return inked ? worst : 0;
}

template <bool kDark> class Palettes : public guitest::TWorksheetRig<0, 20> {
protected:
    QPalette saved_;
    void BeforeWindow() override {
        saved_ = QApplication::palette();
        if (kDark) QApplication::setPalette(DarkPalette());
    }
    void TearDown() override {
        guitest::TWorksheetRig<0, 20>::TearDown();
        QApplication::setPalette(saved_);
    }
    // Runs a query, shows the grid's filter and search bars and the sum of SAL, sorts by a title click.
    void ShowResult() {
        Run("select empno, ename, sal from scott.emp");
        ASSERT_TRUE(WaitIdle());
        w->DBGrid->SetOptionsEx(w->DBGrid->OptionsEx() | dgeFilterBar | dgeSearchBar | dgeSummary);
        ASSERT_TRUE(WaitIdle());
    }
    void ChecksForThisPalette(const char* name) {
        const QPalette pal = QApplication::palette();
        ASSERT_EQ(theme::IsDark(pal), kDark);
        ShowResult();
        // The connection label's red on the button bar's ground.
        EXPECT_GE(theme::Contrast(w->LblConnect->palette().color(QPalette::WindowText),
                                  w->palette().color(QPalette::Window)),
                  4.5);
        // The grid's marks on the title area.
        const QColor titleGround = w->DBGrid->horizontalHeader()->palette().color(QPalette::Button);
        for (const char* mark : {"SORTASC", "SORTDESC", "MENU", "SEARCH", "FILTER", "ACTIVE_FILTER"})
            EXPECT_GE(InkContrast(GridBitmap(mark, w->DBGrid->palette()), titleGround), 3.0) << mark;
        Picture(*w, "main-window", name);
        // The info window: its ground and the product name.
        TFInfo info(w.get());
        info.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&info));
        const QPalette ip = info.palette();
        EXPECT_GE(theme::Contrast(ip.color(QPalette::WindowText), ip.color(QPalette::Window)), 4.5);
        EXPECT_GE(
            theme::Contrast(info.LPrgName->palette().color(QPalette::WindowText), ip.color(QPalette::Window)),
            4.5);
        Picture(info, "info-window", name);
        info.close();
        // The workbench's note.
        TDataModule1* dm = w->DataModule();
        dm->QuickViewII->trigger();
        TFQuickView* qv = dm->FQuickView.get();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(qv));
        qv->CBBenutzer3->setCurrentIndex(qv->CBBenutzer3->findText("SCOTT"));
        auto found = qv->LBTabellen3->findItems("SCOTT.EMP", Qt::MatchExactly);
        ASSERT_EQ(found.size(), 1);
        QTest::mouseClick(qv->LBTabellen3->viewport(), Qt::LeftButton, {},
                          qv->LBTabellen3->visualItemRect(found[0]).center());
        ASSERT_TRUE(QTest::qWaitFor([&] { return !dm->QuickViewQueries->QryQVExec.Executing(); }, 10000));
        const QPalette np = qv->Notice->palette();
        EXPECT_GE(theme::Contrast(np.color(QPalette::WindowText), np.color(QPalette::Window)), 4.5);
        Picture(*qv, "workbench", name);
        qv->Schliessen->trigger();
        // The connect dialog.
        TMemorySettings reg;
        TConnectDialog dlg;
        dlg.Settings = &reg;
        dlg.SetLabelSet(lsGerman);
        dlg.SetConnection(&w->Sess);
        TConnectForm form(dlg);
        form.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
        Picture(form, "connect-dialog", name);
    }
};

using LightPalette = Palettes<false>;
using DarkPaletteWindows = Palettes<true>;

TEST_F(LightPalette, OurColoursAreReadableAndKeepTheirLightLook) {
    ChecksForThisPalette("light");
    // On a light desktop the program looks as it always did: the deep red and the paper-coloured info window.
    EXPECT_EQ(w->LblConnect->palette().color(QPalette::WindowText), QColor(0xc0, 0x00, 0x00));
    TFInfo info(w.get());
    EXPECT_EQ(info.palette().color(QPalette::Window), QColor(0xfa, 0xf8, 0xf0));
}

TEST_F(DarkPaletteWindows, OurColoursStayReadableOnADarkDesktop) {
    ChecksForThisPalette("dark");
    // The info window keeps the dark ground, not the paper colour under light text.
    TFInfo info(w.get());
    EXPECT_TRUE(theme::IsDark(info.palette()));
}

TEST(Scale, IconsAndMarksAreDrawnAtTheScreensScale) {
    const qreal dpr = qApp->devicePixelRatio();
    // Our SVG icons give a sharp picture at every scale: a 16-point icon has 16 x scale pixels.
    for (const char* name :
         {"document-new", "edit-copy", "vestra-schema", "vestra-workbench", "vestra-clipboard-grid",
          "vestra-run-statement", "vestra-run-script", "vestra-explain-plan", "vestra-server-output",
          "vestra-new-worksheet", "de.tessaron.Vestra"}) {
        const QPixmap pm = Icons::Own(name).pixmap(QSize(16, 16), dpr);
        EXPECT_FALSE(pm.isNull()) << name;
        EXPECT_EQ(pm.width(), qRound(16 * dpr)) << name;
    }
    const QPixmap mark = GridBitmap("SORTASC", QApplication::palette());
    EXPECT_EQ(mark.devicePixelRatio(), dpr);
    EXPECT_EQ(mark.deviceIndependentSize(), QSizeF(12, 12));
    const QPixmap logo = Icons::Logo(64, 64);
    EXPECT_EQ(logo.width(), qRound(64 * dpr));
}

} // namespace
