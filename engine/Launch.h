#pragma once
// Starting a program without waiting for it.
#include <string>

// Creates a process from commandLine (the executable taken from its quoted
// start), shown with showCommand, in the caller's current folder, and lets
// it run on its own. True when the process was created.
bool RunProgram(const std::string& commandLine, int showCommand);
