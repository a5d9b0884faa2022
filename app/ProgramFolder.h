// The program folder (the folder of the running executable, no trailing separator) and the folders the
// worksheet looks for beside it. The program creates none of them.
#pragma once

#include <string>

std::string ProgramFolder();
// Tests point the program at another folder; empty restores the real one.
void SetProgramFolderForTests(const std::string& folder);

// Program folder + "/SQL", "/HIST", "/DAT", "/Report".
std::string ProgramSubFolder(const char* name);
