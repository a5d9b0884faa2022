// A test drives the real program vestra from outside (it cannot press keys in another process on the
// offscreen platform) through environment variables; without VESTRA_DRIVE nothing here is active.
//   VESTRA_DRIVE=1            the connect form is confirmed as it shows; every question box is printed as
//                             "Frage: <text>" on standard output and answered
//   VESTRA_DRIVE_ANSWER=no    answer No (default Yes)
//   VESTRA_DRIVE_TYPE=<text>  after start the text is typed into the editor as key presses ("\n" is Enter),
//                             then "getippt" is printed
//   VESTRA_DRIVE_CLOSE=1      the window is then closed (a normal exit)
// After the start (and any question) "Editor: <text>" shows the editor's text, line breaks as "\n".
#pragma once

class TFVestra;

// Before the main window is created.
void InstallDriveHooks();
// After the window shows and the recovery offer is done.
void DriveAfterStart(TFVestra* window);
