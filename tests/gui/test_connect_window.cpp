// The worksheet started through its real connect form, the logon data typed with key presses: a service
// name instead of a SID, a wrong service refused with the listener's message, the aliases of tnsnames.ora in
// the server list.
#include "app/ProgramFolder.h"
#include "app/gui/FVestra.h"
#include "app/gui/VestraApp.h"
#include "app/gui/WorksheetRun.h"
#include "connect/ConnectForm.h"
#include "connect/QtText.h"
#include "tests/Snapshot.h"
#include "tests/gui/GuiTest.h"
#include "tests/oracle/OraE2e.h"
#include "tests/oranet/TnsTestDir.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <memory>

using namespace guitest;

namespace {

vemu::EmuOptions ServiceServer() {
    vemu::EmuOptions o;
    o.service = "pdb1.example.com";
    return o;
}

// Replaces the text of an input the way a user does: select all, type.
void TypeInto(QWidget* input, const QString& text) {
    input->setFocus();
    QTest::keyClick(input, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(input, text);
}

struct TFormSeen {
    QStringList items;
    QString error;
    bool serverFocusAfterError = false;
    int shown = 0;
};

} // namespace

TEST(ConnectWindow, LogsOnByAServiceNameTypedIntoTheFormAfterAWrongOneWasRefused) {
    oratest::TEmu emu(ServiceServer());
    const QString port = QString::number(emu.emu.Port());
    vtest::TTempDir dir;
    dir.Write("tnsnames.ora",
              "EMUPDB = (DESCRIPTION = (ADDRESS = (PROTOCOL = TCP)(HOST = 127.0.0.1)(PORT = " +
                  port.toStdString() + "))\n  (CONNECT_DATA = (SERVICE_NAME = pdb1.example.com)))\n");
    vtest::TScopedEnv admin("TNS_ADMIN", dir.Path());
    SetProgramFolderForTests(BinFolder().toStdString());

    const QString wrong = "127.0.0.1:" + port + "/pdb9.example.com";
    const QString right = "127.0.0.1:" + port + "/PDB1.example.com";
    static TFormSeen seen;
    seen = TFormSeen();
    static QString s_wrong, s_right;
    s_wrong = wrong;
    s_right = right;
    TConnectForm::OnShown = [](TConnectForm& f) {
        QTimer::singleShot(0, &f, [&f] {
            ++seen.shown;
            for (int i = 0; i < f.edServer->count(); ++i)
                seen.items << f.edServer->itemText(i);
            TypeInto(f.edUsername, "scott");
            TypeInto(f.edServer->lineEdit(), s_wrong);
            TypeInto(f.edPassword, "tiger");
            vtest::Snapshot(f, "connect-by-service");
            OnNextModal(
                [&f](QWidget* box) {
                    seen.error = MessageText(box);
                    if (box) QTest::keyClick(box, Qt::Key_Return);
                    QTimer::singleShot(0, &f, [&f] {
                        seen.serverFocusAfterError =
                            f.focusWidget() == f.edServer->lineEdit() || f.focusWidget() == f.edServer;
                        TypeInto(f.edServer->lineEdit(), s_right);
                        TypeInto(f.edPassword, "tiger");
                        QTest::keyClick(f.edPassword, Qt::Key_Return);
                    });
                },
                "QMessageBox");
            QTest::keyClick(f.edPassword, Qt::Key_Return);
        });
    };
    TStartOptions o; // no --connect: the form asks
    std::unique_ptr<TFVestra> w(CreateVestra(o));
    TConnectForm::OnShown = nullptr;
    CancelPendingModals();
    ASSERT_TRUE(w);
    EXPECT_EQ(seen.shown, 1);
    EXPECT_TRUE(seen.items.contains("EMUPDB")) << seen.items.join(",").toStdString();
    EXPECT_TRUE(seen.error.contains("ORA-12514")) << seen.error.toStdString();
    EXPECT_TRUE(seen.error.contains(
        QString::fromUtf8("Der Listener kennt den Dienst \u201Epdb9.example.com\u201C nicht")))
        << seen.error.toStdString();
    EXPECT_TRUE(seen.serverFocusAfterError);

    // The session works: a query by F5.
    w->Run()->Background = false;
    w->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(w.get()));
    EXPECT_EQ(w->LblConnect->text(), "scott@" + right + " ");
    w->Mmo->setPlainText("select ename from emp where empno = 7839");
    w->Mmo->setFocus();
    w->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(w.get()));
    QTest::keyClick(w->Mmo, Qt::Key_F5);
    ASSERT_TRUE(w->Qry.Active());
    EXPECT_EQ(w->Qry.Fields(0)->AsString(), "KING");
    vtest::Snapshot(*w, "worksheet-by-service");
    w->Controller().EndSession();
    w.reset();
    SetProgramFolderForTests("");
}
