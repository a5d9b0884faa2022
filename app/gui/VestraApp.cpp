#include "app/gui/VestraApp.h"

#include "app/gui/DataModule1.h"
#include "app/gui/Icons.h"
#include "connect/ConnectHooks.h"
#include "connect/QtPoster.h"
#include "connect/QtText.h"
#include "dataset/DAHooks.h"
#include "dataset/DB.h"
#include "dataset/Platform.h"

#include <QDir>
#include <QLibraryInfo>
#include <QTranslator>
#include <memory>

const char* const kUsage =
    "Aufruf: vestra [--connect BENUTZER/KENNWORT@HOST-ZEICHENFOLGE] [--settings ORDNER]\n"
    "  HOST-ZEICHENFOLGE: HOST:PORT:SID, HOST[:PORT]/DIENST, (DESCRIPTION=...) oder ein Alias aus "
    "tnsnames.ora\n";

namespace {
std::unique_ptr<TQtSettings> g_settings;

// Completions of background runs (the workbench query) come back through the event loop; what they raise
// ends in TVestraApplication::notify's message box. Made once the application exists.
std::unique_ptr<TQtPoster> g_poster;
} // namespace

TCommandLine ParseCommandLine(const QStringList& args) {
    TCommandLine cl;
    for (int i = 1; i < args.size(); ++i) {
        const QString& a = args[i];
        auto value = [&](const char* name, QString& out) {
            if (a.startsWith(QString(name) + "=")) {
                out = a.mid(int(strlen(name)) + 1);
                return true;
            }
            if (a == name) {
                if (i + 1 >= args.size()) {
                    cl.error = QString("%1 braucht einen Wert").arg(name);
                    return true;
                }
                out = args[++i];
                return true;
            }
            return false;
        };
        QString v;
        if (value("--connect", v)) {
            if (!cl.error.isEmpty()) break;
            cl.start.connect = ToAnsi(v);
            cl.start.haveConnect = true;
        } else if (value("--settings", v)) {
            if (!cl.error.isEmpty()) break;
            cl.settingsDir = v;
        } else if (a == "--help" || a == "-h") {
            cl.help = true;
        } else {
            cl.error = "Unbekanntes Argument: " + a;
            break;
        }
    }
    return cl;
}

TVestraApplication::TVestraApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool TVestraApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
        ShowErrorBox(activeWindow(), e);
    } catch (...) {
        ShowErrorBox(activeWindow(), std::runtime_error("Unbekannter Fehler"));
    }
    return false;
}

void SetupApplication(QApplication& app, const QString& settingsDir) {
    QApplication::setApplicationName("Vestra");
    QApplication::setOrganizationName("Tessaron");
    QApplication::setApplicationDisplayName("Brennic");
    QApplication::setApplicationVersion(kProductVersion);
    // The desktop entry's name, so that the desktop matches our windows to its menu entry and icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("de.tessaron.Vestra"));
    QApplication::setWindowIcon(Icons::Program());
    platform::InitLocaleFromEnvironment();

    // Standard dialogs and message boxes speak German.
    static QTranslator qt;
    if (qt.load(QLocale(QLocale::German, QLocale::Germany), "qt", "_",
                QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        app.installTranslator(&qt);
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));

    if (!settingsDir.isEmpty()) QDir().mkpath(settingsDir);
    g_settings = std::make_unique<TQtSettings>(settingsDir);
    SetConnectSettings(g_settings.get());
    InstallScreenHooks();
    g_poster = std::make_unique<TQtPoster>();
    SetMainThreadPoster(g_poster.get());
    // What the framework and the windows catch without letting it through (grid, navigator, lists).
    SetApplicationExceptionHandler(
        [](const std::exception& e) { ShowErrorBox(QApplication::activeWindow(), e); });
}

void TeardownApplication() {
    SetApplicationExceptionHandler(nullptr);
    SetMainThreadPoster(nullptr);
    g_poster.reset();
    RemoveScreenHooks();
    SetConnectSettings(nullptr);
    g_settings.reset();
}

TFVestra* CreateVestra(const TStartOptions& options) {
    std::unique_ptr<TFVestra> w;
    try {
        w = std::make_unique<TFVestra>(options);
    } catch (const std::exception& e) {
        ShowErrorBox(nullptr, e);
        return nullptr;
    }
    w->SetupHelp();
    auto* dm = new TDataModule1(w.get());
    w->SetDataModule(dm);
    if (!options.recoveryFolder.empty()) w->StartRecovery(options.recoveryFolder);
    return w.release();
}
