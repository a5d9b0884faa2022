// Start-up of the program vestra: the command line, the application set-up and the main window.
#pragma once

#include "app/gui/FVestra.h"

#include <QApplication>
#include <QString>
#include <QStringList>

struct TCommandLine {
    TStartOptions start;
    QString settingsDir; // --settings DIR: the registry stand-in lives there
    QString error;       // a bad command line
    bool help = false;
};
TCommandLine ParseCommandLine(const QStringList& args);
extern const char* const kUsage;

// No exception crosses the event loop: one that a handler let through ends in the message box.
class TVestraApplication : public QApplication {
public:
    TVestraApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};

// Step 1: the application's title "Brennic", Qt's German translations, the settings and the screen hooks.
void SetupApplication(QApplication& app, const QString& settingsDir);
// Steps 2 to 6: the main window (its session connects), help, the data module and the info window. After a
// cancelled or finally failed logon the error is shown and nullptr returned.
TFVestra* CreateVestra(const TStartOptions& options);
// Undoes SetupApplication's hooks and settings.
void TeardownApplication();
