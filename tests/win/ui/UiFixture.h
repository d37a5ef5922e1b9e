#pragma once
// The UI tests' driver: dialogs run from inside their own message loop
// (tests/support/DialogDriver.h), and the main dialog run as the program
// runs it, with a program folder and an application object of the test's.
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include "res/Version.h"
#include "tests/support/DialogDriver.h"
#include "tests/support/Scratch.h"
#include "tests/support/TestApp.h"

class MainDialog;

// The About dialog's version line of this test binary.
inline const std::string kOwnVersionLine = "win_ui_tests Version " TOVARIND_VERSION_TEXT;

// Runs a main dialog modally as app's main window, as the program's
// start-up does; body runs once it shows (see RunDialog). Returns what the
// modal run returned; app has no main window afterwards.
INT_PTR RunMainDialogOf(TestApp& app, const std::function<void(HWND, MainDialog&)>& body);

// Presses a button of a dialog as a click does.
void Click(HWND dialog, int id);

// A message box as a test expects it: text, style, and whether the main
// window was on the screen.
using Box = std::tuple<std::string, UINT, bool>;
std::vector<Box> BoxesOf(const TestApp& app);

class UiTest : public testing::Test {
  protected:
    UiTest() : app(folder.Path()) {}
    INT_PTR RunMain(const std::function<void(HWND, MainDialog&)>& body) {
        return RunMainDialogOf(app, body);
    }

    ScratchFolder folder;
    TestApp app;
};
