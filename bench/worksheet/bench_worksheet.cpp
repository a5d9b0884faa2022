// bench-worksheet: the worksheet window on the offscreen platform against vestra-emu over loopback.
// METRIC worksheet_f5_ms: F5 on "select * from scott.emp" until the status line says "OK" and the rows are
// painted. METRIC worksheet_start_ms: from starting the vestra process until its connect dialog is shown.
#include "app/gui/FVestra.h"
#include "app/gui/VestraApp.h"
#include "app/gui/WorksheetRun.h"
#include "connect/ConnectForm.h"
#include "emulator/EmuServer.h"
#include "grid/QxGrid.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::time_point a, Clock::time_point b) {
    return std::chrono::duration<double, std::milli>(b - a).count();
}

void Metric(const char* name, double value, const char* unit) {
    std::printf("METRIC %s %.2f %s\n", name, value, unit);
    std::fflush(stdout);
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    TVestraApplication app(argc, argv);
    QTemporaryDir settings;
    SetupApplication(app, settings.path());
    vemu::EmuServer emu{vemu::EmuOptions{}};
    emu.Start();
    const std::string server = "127.0.0.1:" + std::to_string(emu.Port()) + ":bnx";

    // F5 to "OK" with the rows painted.
    TConnectForm::OnShown = [](TConnectForm& f) {
        QTimer::singleShot(0, &f, [&f] { f.btConnect->click(); });
    };
    TStartOptions o;
    o.connect = "scott/tiger@" + server;
    o.haveConnect = true;
    std::unique_ptr<TFVestra> w(CreateVestra(o));
    if (!w) return 1;
    TConnectForm::OnShown = nullptr;
    w->show();
    if (!QTest::qWaitForWindowExposed(w.get())) return 1;
    w->activateWindow();
    if (!QTest::qWaitForWindowActive(w.get())) return 1;
    w->Mmo->setPlainText("select * from scott.emp");
    std::vector<double> times;
    for (int i = 0; i < 40; ++i) {
        w->Qry.Close();
        w->DBGrid->viewport()->repaint();
        const auto t0 = Clock::now();
        QTest::keyClick(w->Mmo, Qt::Key_F5);
        if (w->Run()->Busy()) {
            // The statement runs on its own thread: the event loop turns until its end is reported.
            QEventLoop loop;
            QObject::connect(w->Run(), &TWorksheetRun::Ended, &loop, &QEventLoop::quit);
            loop.exec();
        }
        w->DBGrid->viewport()->repaint();
        const auto t1 = Clock::now();
        if (w->StatusText() != "OK" || w->Qry.RecordCount() != 14) {
            std::fprintf(stderr, "bench-worksheet: F5 did not end with OK and 14 rows\n");
            return 1;
        }
        if (i >= 5) times.push_back(Ms(t0, t1)); // the first runs warm the caches
    }
    Metric("worksheet_f5_ms", Median(times), "ms");
    w->Controller().EndSession();
    w.reset();

    // Process start to the connect dialog on screen (the program leaves as soon as the form shows).
    const QString vestra = QCoreApplication::applicationDirPath() + "/vestra";
    std::vector<double> starts;
    for (int i = 0; i < 7; ++i) {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("VESTRA_EXIT_AT_CONNECT_FORM", "1");
        p.setProcessEnvironment(env);
        const auto t0 = Clock::now();
        p.start(vestra, {"--settings", settings.path(), "--connect",
                         QString::fromStdString("scott/tiger@" + server)});
        if (!p.waitForReadyRead(10000)) {
            std::fprintf(stderr, "bench-worksheet: vestra did not show its connect dialog\n");
            return 1;
        }
        const auto t1 = Clock::now();
        p.waitForFinished(10000);
        if (!p.readAllStandardOutput().contains("connect form shown")) return 1;
        starts.push_back(Ms(t0, t1));
    }
    Metric("worksheet_start_ms", Median(starts), "ms");
    TeardownApplication();
    return 0;
}
