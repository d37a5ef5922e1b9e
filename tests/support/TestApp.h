#pragma once
// An application object for tests: its program folder is a scratch folder
// instead of the test binary's own, and its message boxes are recorded and
// answered from a queue instead of being shown.
#include <deque>
#include <string>
#include <vector>

#include "app/UpdaterApp.h"

class TestApp : public UpdaterApp {
  public:
    struct Message {
        std::string text;
        UINT style; // as it would be shown (icon defaults applied)
        // Whether the main window was on the screen when the box was asked
        // for, so that it would own the box.
        bool mainWindowShown;
    };

    // programFolder ends with a backslash.
    explicit TestApp(std::string programFolder);

    int DoMessageBox(const char* prompt, UINT type, UINT helpId) override;

    // Writes the settings file (default name) in the program folder and
    // points the application at it without loading it.
    void WriteSettings(const std::string& iniText, const std::string& name = "Tovarind.ini");

    std::vector<Message> messages;
    std::vector<std::string> MessageTexts() const; // the texts of messages, in order
    std::deque<int> answers;                       // returned in order; IDOK when empty

  protected:
    std::string ModulePath() const override { return folder_ + "Tovarind.exe"; }

  private:
    std::string folder_;
};
