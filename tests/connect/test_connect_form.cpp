// The logon form on the offscreen platform: the logon runs on a thread of its own, so the form keeps
// answering; while it runs the inputs and the connect button wait and Cancel ends it at once, leaving the
// form open and usable for a logon that succeeds.
#include "connect/ConnectForm.h"
#include "tests/Snapshot.h"
#include "tests/oracle/OraE2e.h"
#include "tests/oracle/SilentListener.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

struct TFormRig {
    TMemorySettings reg;
    TConnectDialog dlg;
    std::unique_ptr<TOraSession> s;
    explicit TFormRig(oratest::TEmu& emu) : s(oratest::MakeSession(emu, "scott", "tiger")) {
        dlg.Settings = &reg;
        dlg.SetLabelSet(lsGerman);
        dlg.SetConnection(s.get());
        s->Options().SetConnectTimeout(20);
    }
};

// A modal box that shows up in the event loop: its text, closed with OK.
struct TBoxWatch {
    QTimer timer;
    QString text;
    int seen = 0;
    TBoxWatch() {
        timer.setInterval(5);
        QObject::connect(&timer, &QTimer::timeout, [this] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                text = box->text();
                ++seen;
                box->accept();
            }
        });
        timer.start();
    }
};

void Fill(TConnectForm& f, const std::string& server) {
    f.edUsername->setText("scott");
    f.edPassword->setText("tiger");
    f.edServer->setEditText(QString::fromStdString(server));
}

} // namespace

TEST(ConnectFormGui, CancelEndsALogonToASilentServerAtOnceAndTheFormLogsOnAfterwards) {
    oratest::TEmu emu;
    oratest::TSilentListener silent(true);
    TFormRig r(emu);
    TConnectForm form(r.dlg);
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    const QString connectText = form.btConnect->text();
    Fill(form, silent.Server());
    TBoxWatch boxes;

    QTest::mouseClick(form.btConnect, Qt::LeftButton);
    ASSERT_TRUE(form.Connecting());
    // Waiting: the inputs and the connect button rest, Cancel stays.
    EXPECT_FALSE(form.btConnect->isEnabled());
    EXPECT_EQ(form.btConnect->text(), "...");
    EXPECT_FALSE(form.edUsername->isEnabled());
    EXPECT_FALSE(form.edServer->isEnabled());
    EXPECT_TRUE(form.btCancel->isEnabled());
    ASSERT_TRUE(QTest::qWaitFor([&] { return silent.BytesRead() > 0; }, 5000));
    QTest::qWait(200);
    EXPECT_TRUE(form.Connecting()); // the silent server keeps it waiting
    vtest::Snapshot(form, "connect-logging-on");

    QElapsedTimer t;
    t.start();
    QTest::mouseClick(form.btCancel, Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !form.Connecting(); }, 5000));
    EXPECT_LT(t.elapsed(), 1000);
    // Cancelled, not failed: no message, the form stays open with its inputs back.
    QTest::qWait(50);
    EXPECT_EQ(boxes.seen, 0) << boxes.text.toStdString();
    EXPECT_TRUE(form.isVisible());
    EXPECT_EQ(form.result(), 0);
    EXPECT_TRUE(form.btConnect->isEnabled());
    EXPECT_EQ(form.btConnect->text(), connectText);
    EXPECT_TRUE(form.edServer->isEnabled());
    EXPECT_TRUE(form.edServer->hasFocus());
    EXPECT_FALSE(r.s->Connected());
    EXPECT_EQ(form.Logic().RetriesLeft(), r.dlg.Retries);

    // The right server now: the form closes with OK and the session is connected.
    form.edServer->setEditText(QString::fromStdString(emu.Server()));
    QTest::mouseClick(form.btConnect, Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !form.isVisible(); }, 10000));
    EXPECT_EQ(form.result(), QDialog::Accepted);
    EXPECT_TRUE(r.s->Connected());
    EXPECT_EQ(boxes.seen, 0);
}

TEST(ConnectFormGui, EscapeWhileLoggingOnCancelsTheLogonAndASecondEscapeClosesTheForm) {
    oratest::TEmu emu;
    oratest::TSilentListener silent(true);
    TFormRig r(emu);
    TConnectForm form(r.dlg);
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    Fill(form, silent.Server());
    QTest::mouseClick(form.btConnect, Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return silent.BytesRead() > 0; }, 5000));
    QTest::keyClick(&form, Qt::Key_Escape);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !form.Connecting(); }, 1000));
    EXPECT_TRUE(form.isVisible());
    QTest::keyClick(&form, Qt::Key_Escape);
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(form.result(), QDialog::Rejected);
    EXPECT_FALSE(r.s->Connected());
}

TEST(ConnectFormGui, AFailedLogonShowsItsErrorAsBeforeAndCountsTheRetry) {
    oratest::TEmu emu;
    TFormRig r(emu);
    TConnectForm form(r.dlg);
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    Fill(form, emu.Server());
    form.edPassword->setText("wrong");
    TBoxWatch boxes;
    QTest::mouseClick(form.btConnect, Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return boxes.seen > 0; }, 10000));
    EXPECT_TRUE(boxes.text.startsWith("ORA-01017")) << boxes.text.toStdString();
    EXPECT_FALSE(form.Connecting());
    EXPECT_TRUE(form.isVisible());
    EXPECT_EQ(form.Logic().RetriesLeft(), r.dlg.Retries - 1);
    // The password is the form's focus input once the box has gone.
    EXPECT_EQ(form.focusWidget(), form.edPassword);
    EXPECT_FALSE(r.s->Connected());
}

TEST(ConnectFormGui, AFormClosedWhileLoggingOnEndsTheLogonThread) {
    oratest::TEmu emu;
    oratest::TSilentListener silent(true);
    TFormRig r(emu);
    QElapsedTimer t;
    {
        TConnectForm form(r.dlg);
        form.show();
        Fill(form, silent.Server());
        QTest::mouseClick(form.btConnect, Qt::LeftButton);
        ASSERT_TRUE(QTest::qWaitFor([&] { return silent.BytesRead() > 0; }, 5000));
        t.start();
    }
    EXPECT_LT(t.elapsed(), 1000);
    QTest::qWait(50); // the thread's posted end finds the form gone
    EXPECT_FALSE(r.s->Connected());
}

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
