// vestra, the worksheet.
#include "app/gui/VestraApp.h"

#include <cstdio>

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
    TFVestra* w = CreateVestra(cl.start);
    if (!w) {
        TeardownApplication();
        return 1;
    }
    w->setAttribute(Qt::WA_DeleteOnClose);
    w->show();
    const int rc = app.exec();
    TeardownApplication();
    return rc;
}
