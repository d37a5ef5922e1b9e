#pragma once
// The application object: it holds the settings, finds the settings file,
// runs the main dialog and carries the update engine's operations, which the
// main dialog calls. The operations live in engine/, one file per job.
#include <string>
#include <vector>

#include "framework/WinApp.h"

struct UpdateEntry;

struct UpdaterSettings {
    std::string Title;
    std::string URL;
    std::string TempFolder;
    std::string Program;
    std::string UpdateDoc;
};

class UpdaterApp : public CWinApp {
  public:
    UpdaterApp() = default;
    ~UpdaterApp() override = default;

    // Start-up: settings, the main dialog, the clean-up. Always false.
    BOOL InitInstance() override;

    // Start-up up to the settings: command line, settings path, LoadSettings.
    // arguments is the whole command line, program name first.
    bool PrepareSettings(const std::vector<std::string>& arguments);

    // Runs the main dialog modally (defined with the dialog, in ui/).
    void RunMainDialog();

    // --- settings (app/Settings.cpp) ---
    // The program folder, ending with a backslash; computed on every call.
    std::string ModuleFolder() const;
    // Fills the settings and creates the temporary folder; false when the
    // settings cannot be used (message shown).
    bool LoadSettings();
    // One value of the settings file (empty when missing), at most 4095 bytes.
    std::string ReadProfileValue(const char* section, const char* key) const;
    // ModuleFolder + TempFolder + "\".
    std::string TempFolderPath() const;
    // ModuleFolder + TempFolder + "\Archive.zip".
    std::string ArchivePath() const;

    const UpdaterSettings& Settings() const { return settings_; }

    // --- update engine (engine/) ---
    // Stamps one copy: archiveSide false: ModuleFolder + relativePath;
    // true: TempFolderPath() + relativePath. Returns timeText.
    char* GetFileStamp(bool archiveSide, std::string relativePath, char* timeText, int timeTextSize,
                       int* size);
    bool CheckForUpdates(UpdateEntry* head, int* count);
    bool ExtractArchive();
    bool ApplyUpdates(UpdateEntry* head);
    void ClearTempFolder();
    void StartAutoRun(bool openDocument);

  protected:
    // The full path of the running executable; tests put the program
    // folder elsewhere by overriding it.
    virtual std::string ModulePath() const;
    // Has the shell open path with its associated application and returns
    // the shell's answer (ShellExecute's result); tests stand in for the
    // shell's rarer answers by overriding it.
    virtual INT_PTR ShellOpen(const std::string& path) const;

    UpdaterSettings settings_;
};
