// The screen hooks of the data-access layer (wait cursor, debug window), the QSettings registry stand-in and
// the application's exception display.
#pragma once

#include "connect/ConnectDialog.h"

#include <QString>
#include <memory>

class QSettings;
class QDialog;

// The registry stand-in on QSettings; keys keep their registry names ("SOFTWARE/Tessaron/Nodal/Connect").
class TQtSettings : public IConnectSettings {
public:
    // dir empty: the user's settings; else an INI file "vestra.ini" in dir.
    explicit TQtSettings(const QString& dir);
    ~TQtSettings() override;
    bool KeyExists(const std::string& key) override;
    bool ReadString(const std::string& key, const std::string& name, std::string& value) override;
    void WriteString(const std::string& key, const std::string& name, const std::string& value) override;
    QSettings& Qt() { return *settings_; }

private:
    std::unique_ptr<QSettings> settings_;
};

// Installs the wait cursor, the debug window and TConnectForm; Remove undoes it (the arrow cursor and a
// running timer go with it).
void InstallScreenHooks();
void RemoveScreenHooks();

// The debug window's title for a component and operation: "Nodal Debug: Owner.Name  [Execute]".
QString DebugWindowTitle(const std::string& owner, const std::string& name, const std::string& operation);
// Called with the debug window before it is shown modally (tests close it from here).
extern void (*OnDebugWindowShown)(QDialog&);
