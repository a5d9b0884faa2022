// Facts about the running program that the logon sends, behind tiny functions.
#pragma once

#include <string>

namespace oranet::platform {

std::string ComputerName(); // the machine's short host name
std::string LoginName();    // the user running the program
unsigned long ProcessId();
unsigned long ThreadId();      // the calling thread
std::string ProgramFileName(); // the running program's file name without its directory

} // namespace oranet::platform
