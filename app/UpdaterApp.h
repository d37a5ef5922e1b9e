#pragma once
// The application object: it holds the settings, finds the settings file,
// runs the main dialog and carries the update engine's operations, which the
// main dialog calls. The operations live in engine/, one file per job.
#include <optional>
#include <string>
#include <vector>

#include "win/ScopedHandle.h"
#include "framework/WaitCursor.h"
#include "framework/WinApp.h"

struct UpdateEntry;

struct UpdaterSettings {
    std::string Title;
    std::string URL;
    std::string TempFolder;
    std::string Program;
    std::string UpdateDoc;
    // Signed updates: the minisign key (empty: archives are taken unsigned)
    // and where the archive's signature is fetched (default URL + ".minisig").
    std::string PublicKey;
    std::string SignatureURL;
    // The quick check: the archive's central directory by range first; when
    // something is new, only the members that differ (the whole archive
    // with a PublicKey, or when the members would not do).
    bool QuickCheck = false;
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
    // ModuleFolder + folder + file name of every UpdateFiles entry, in order.
    std::vector<std::string> ListedFilePaths() const;
    // Whether tempFolder is, or holds, the program folder or the folder of
    // a listed file, however it is spelled or linked.
    bool TempFolderEndangersFiles(const std::string& tempFolder) const;
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
    enum class QuickCheckOutcome {
        NothingNew,   // every entry has the stamp and state the full check would give
        Compared,     // the members that differ were unpacked: the check is done, count set
        Downloaded,   // the server sent the whole archive: it is in ArchivePath()
        FullDownload, // only the whole archive can tell: download it as without the key
        Failed,       // the check ends here (message shown, or the user left)
    };
    // The first part of the check with QuickCheck on (engine/QuickCheck.cpp):
    // turns on the wait cursor in waitCursor once the archive file exists.
    QuickCheckOutcome QuickCheck(UpdateEntry* head, std::optional<CWaitCursor>& waitCursor,
                                 int& count);
    // Fetches the archive's signature and verifies the downloaded archive
    // against PublicKey; false (message shown) refuses it. On success the
    // archive stays open in heldArchive, readable by others but not
    // writable, so that what is unpacked is what was verified.
    bool VerifyArchiveSignature(std::optional<ScopedFile>& heldArchive);
    bool ExtractArchive();
    bool ApplyUpdates(UpdateEntry* head);
    // Deletes the copies of the program file that an update of the
    // program itself set aside in an earlier run.
    void RemoveSetAsideCopies();
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

  private:
    UpdaterSettings settings_;
};
