// The program folder (the folder of the running executable, no trailing separator) and the folders the
// worksheet looks for.
//
// Two layouts:
// - unpacked (a build tree, or a folder the user copied): every file and folder stands beside the program, as
// it
//   always has; the program creates none of the folders.
// - installed (`<prefix>/bin/vestra` with `<prefix>/share/vestra`): the files the program only reads (help,
// report
//   fragments) lie in `<prefix>/share/vestra`, and the folders the user writes into (SQL, HIST, DAT, and the
//   report folder's generated project) lie in the user's data folder (`$XDG_DATA_HOME/vestra`, by default
//   `~/.local/share/vestra`), which is created on first use. An unpacked program whose own folder is not
//   writable uses the user's data folder for those too.
#pragma once

#include <string>

std::string ProgramFolder();
// Tests point the program at another folder; empty restores the real one.
void SetProgramFolderForTests(const std::string& folder);

// True when the program runs from an installed layout (see above).
bool InstalledLayout();

// The folder of the files supplied with the program: the program folder, or `<prefix>/share/vestra`.
std::string DataFolder();

// The folder that holds the user's folders (SQL, HIST, DAT): the program folder, or the user's data folder.
std::string UserFolder();

// UserFolder() + "/SQL", "/HIST", "/DAT"; in the user's data folder the folder is created when missing.
std::string ProgramSubFolder(const char* name);

// The user's data folder for this program ($XDG_DATA_HOME/vestra, else $HOME/.local/share/vestra); not
// created.
std::string UserDataFolder();
