// Shared rig of the GUI tests: the emulator, the worksheet started through its real connect form, and modal
// dialogs driven from queued calls.
#pragma once

#include <QString>
#include <functional>
#include <memory>
#include <string>

class QWidget;
class TFVestra;

namespace guitest {

// Runs f on the next modal widget that appears other than the one active now (polled from the event loop, at
// most about 5 s); f gets nullptr when none appeared.
// With `inherits`, only a widget of that class counts.
void OnNextModal(std::function<void(QWidget*)> f, const char* inherits = nullptr);
// Drops the waits that found nothing yet (a test's end: their callbacks refer to the test's locals).
void CancelPendingModals();
// The text of a message box, or "" for anything else.
QString MessageText(QWidget* w);
// Clicks the message box's button with the given standard role text ("&Yes", "Ja", ...) by its standard
// button.
void ClickButton(QWidget* box, int standardButton);
// Accepts a QFileDialog with a file name typed into its name field.
void AcceptFileDialog(QWidget* dialog, const QString& file);
// The folder of the programs (build/bin).
QString BinFolder();
// Starts the worksheet logged on as SCOTT to server (HOST:PORT:SID) through its real connect form, whose
// connect button is clicked as soon as the form shows; nullptr when the window did not start.
std::unique_ptr<TFVestra> StartLoggedOn(const std::string& server);

} // namespace guitest
