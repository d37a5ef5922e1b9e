#pragma once
// The UI tests' driver: dialogs run from inside their own message loop
// (tests/support/DialogDriver.h), and the main dialog run as the program
// runs it.
#include <windows.h>

#include <functional>

#include "tests/support/DialogDriver.h"

class MainDialog;
class TestApp;

// Runs a main dialog modally as app's main window, as the program's
// start-up does; body runs once it shows (see RunDialog). Returns what the
// modal run returned; app has no main window afterwards.
INT_PTR RunMainDialogOf(TestApp& app, const std::function<void(HWND, MainDialog&)>& body);
