// What a screen reader gets from the worksheet: its objects read over the AT-SPI bus by a separate process,
// as Orca reads them, and the keyboard's way through the window's controls. Runs on a real X server (Xvfb)
// with a session bus of its own (see CMakeLists.txt).
#include "tests/gui/WorksheetRig.h"

#include <QEventLoop>
#include <QLabel>
#include <QProcess>
#include <QRadioButton>

namespace {

struct TAccessible {
    QString role, name, description;
};

using TAccessibilityBus = guitest::TWorksheetRig<0, 20>;

// The program's objects as the bus gives them. The event loop keeps running meanwhile: the window answers the
// reader's questions from it.
std::vector<TAccessible> ReadOverTheBus(QString* error) {
    QProcess reader;
    const QString script = qEnvironmentVariable("VESTRA_SOURCE_DIR") + "/tests/gui/atspi_read.py";
    QEventLoop loop;
    QObject::connect(&reader, &QProcess::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(60000, &loop, &QEventLoop::quit);
    reader.start("/usr/bin/python3", {script, QCoreApplication::applicationName()});
    loop.exec();
    std::vector<TAccessible> objects;
    if (reader.state() != QProcess::NotRunning) {
        reader.kill();
        reader.waitForFinished();
        *error = "the reader did not finish";
        return objects;
    }
    if (reader.exitCode() != 0) {
        *error = QString::fromUtf8(reader.readAllStandardError());
        return objects;
    }
    for (const QString& line : QString::fromUtf8(reader.readAllStandardOutput()).split('\n')) {
        const QStringList f = line.split('\t');
        if (f.size() == 3) objects.push_back({f[0], f[1], f[2]});
    }
    return objects;
}

const TAccessible* ByDescription(const std::vector<TAccessible>& objects, const QString& description) {
    for (const TAccessible& o : objects)
        if (o.description == description) return &o;
    return nullptr;
}

TEST_F(TAccessibilityBus, AScreenReaderHearsTheStatusTheHistoryPositionTheConnectionAndTheFooter) {
    Run("select * from scott.emp");
    ASSERT_TRUE(WaitIdle());
    ASSERT_EQ(w->StatusText(), "OK");
    QString error;
    std::vector<TAccessible> objects = ReadOverTheBus(&error);
    ASSERT_TRUE(error.isEmpty()) << error.toStdString();
    ASSERT_FALSE(objects.empty());

    const TAccessible* status = ByDescription(objects, "Statuszeile");
    ASSERT_TRUE(status);
    EXPECT_EQ(status->name, "OK");
    const TAccessible* position = ByDescription(objects, "Position in der Historie");
    ASSERT_TRUE(position);
    EXPECT_EQ(position->name, w->LblPos->text());
    EXPECT_EQ(position->name, "1 / 1");
    const TAccessible* connection = ByDescription(objects, "Verbindung");
    ASSERT_TRUE(connection);
    EXPECT_TRUE(connection->name.startsWith("scott@")) << connection->name.toStdString();
    // The footer is painted on the grid: the grid's description carries its text.
    const TAccessible* grid = ByDescription(objects, QString::fromUtf8("Fußzeile: 1/14"));
    ASSERT_TRUE(grid);
    EXPECT_EQ(grid->name, "Ergebnis");
    EXPECT_EQ(grid->role, "table");

    // A failing statement: the reader hears the error, not a caption.
    Run("select * from no_such_table");
    guitest::OnNextModal([](QWidget* box) {
        if (box) guitest::ClickButton(box, QMessageBox::Ok);
    });
    ASSERT_TRUE(WaitIdle());
    objects = ReadOverTheBus(&error);
    ASSERT_TRUE(error.isEmpty()) << error.toStdString();
    status = ByDescription(objects, "Statuszeile");
    ASSERT_TRUE(status);
    EXPECT_EQ(status->name, w->StatusText());
    EXPECT_NE(status->name, "OK");
}

TEST_F(TAccessibilityBus, TabReachesEveryControlOfTheButtonBarTheEditorTheGridAndBack) {
    Activate();
    w->BtnExec->setFocus();
    QStringList seen;
    for (int i = 0; i < 40; ++i) {
        QWidget* f = QApplication::focusWidget();
        ASSERT_TRUE(f);
        const QString name = f->objectName();
        if (!seen.isEmpty() && name == seen.front()) break;
        seen << name;
        // The editor takes Tab as text; Ctrl+Tab leaves it, as in every Qt text editor.
        QTest::keyClick(f, Qt::Key_Tab, f->inherits("QPlainTextEdit") ? Qt::ControlModifier : Qt::NoModifier);
    }
    const QStringList expected{"BtnExec", "BtnRefresh", "BtnBack",      "BtnForw", "BitBtn3",
                               "BitBtn2", "BitBtn1",    "RadioButton1", "Mmo",     "DBGrid"};
    int at = -1;
    for (const QString& name : expected) {
        const int next = int(seen.indexOf(name));
        EXPECT_GT(next, at) << name.toStdString() << " in " << seen.join(' ').toStdString();
        at = next;
    }
    // The circle closes: Tab from the last control comes back to the first.
    EXPECT_EQ(seen.count("BtnExec"), 1);
}

} // namespace
