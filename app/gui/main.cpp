// vestra, the worksheet.
#include "app/ProgramFolder.h"
#include "app/gui/DriveHooks.h"
#include "app/gui/VestraApp.h"
#include "connect/ConnectForm.h"

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    TVestraApplication app(argc, argv);
    const TCommandLine cl = ParseCommandLine(QApplication::arguments());
    if (cl.help) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (!cl.error.isEmpty()) {
        std::fprintf(stderr, "%s\n%s", cl.error.toLocal8Bit().constData(), kUsage);
        return 2;
    }
    SetupApplication(app, cl.settingsDir);
    // The start-up benchmark measures the time until the connect dialog shows; the program then leaves.
    if (qEnvironmentVariableIsSet("VESTRA_EXIT_AT_CONNECT_FORM"))
        TConnectForm::OnShown = [](TConnectForm&) {
            std::fputs("connect form shown\n", stdout);
            std::fflush(stdout);
            std::_Exit(0);
        };
    // The editor's text and the history are kept against a crash in the user's data folder, the one that
    // holds an installed program's SQL, HIST and DAT (the settings folder when one is given).
    TStartOptions start = cl.start;
    start.recoveryFolder = cl.settingsDir.isEmpty() ? UserDataFolder() : cl.settingsDir.toStdString();
    InstallDriveHooks();
    TFVestra* w = CreateVestra(start);
    if (!w) {
        TeardownApplication();
        return 1;
    }
    w->setAttribute(Qt::WA_DeleteOnClose);
    w->show();
    w->OfferRecovery();
    DriveAfterStart(w);
    const int rc = app.exec();
    TeardownApplication();
    return rc;
}
