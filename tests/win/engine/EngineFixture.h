#pragma once
// What the engine tests share: a scratch program folder with its settings,
// the test application object, a chain of entries built like the list
// builds it; small ZIP archives come from tests/support.
#include <windows.h>

#include <gtest/gtest.h>

#include <initializer_list>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "engine/Diagnostics.h"
#include "engine/Download.h"
#include "engine/UpdateEntry.h"
#include "tests/support/Scratch.h"
#include "tests/support/TestApp.h"
#include "tests/support/ZipBuilder.h"

// The chain the engine operations walk; entries are (fileName, folder), and
// each local copy is stamped as the list does it when it loads.
class EntryChain {
  public:
    EntryChain(UpdaterApp& app, std::initializer_list<std::pair<std::string, std::string>> files);
    ~EntryChain() { FreeEntryChain(head); }
    EntryChain(const EntryChain&) = delete;
    EntryChain& operator=(const EntryChain&) = delete;
    UpdateEntry& operator[](std::size_t n);
    std::vector<int> States() const;
    // Each entry's archive stamp as "time size" ("" time: no archive copy).
    std::vector<std::string> ArchiveStamps() const;
    UpdateEntry* head = nullptr;
};

// Keeps the cause lines (engine/Diagnostics.h) written while it lives.
class CauseLines {
  public:
    CauseLines();
    ~CauseLines();
    CauseLines(const CauseLines&) = delete;
    CauseLines& operator=(const CauseLines&) = delete;
    std::vector<std::string> lines;
    // Every line, each ending in "\n".
    std::string All() const;

  private:
    CauseSink before_;
};

struct EngineTest : testing::Test {
    ScratchFolder scratch;
    std::string programFolder = scratch / "App\\";
    std::string tempFolder = programFolder + "UpdateArchive\\";
    std::string archivePath = tempFolder + "Archive.zip";
    TestApp app{programFolder};
    std::optional<CWaitCursor> waitCursor;

    EngineTest() { MakeFolder(programFolder); }

    // Writes and loads the settings with this URL and the AutoRun values.
    void Configure(const std::string& url, const std::string& program = "",
                   const std::string& document = "");
    static void SetWriteTime(const std::string& path, ZipBuilder::LocalTime time);
    // Writes a file below the program folder with a local last-write time.
    void Install(const std::string& relative, const std::string& bytes, ZipBuilder::LocalTime time);
    std::vector<std::string> MessageTexts() const { return app.MessageTexts(); }
    // Downloads url into path as a check does, after forgetting the
    // messages, cause lines and wait cursor of what came before.
    DownloadOutcome Download(const std::string& url, const std::string& path);
    DownloadOutcome Download(const std::string& url) { return Download(url, archivePath); }
    CauseLines causes;
};

// The messages app has shown: exactly texts, in order, each in an
// exclamation box.
void ExpectMessages(const TestApp& app, const std::vector<std::string>& texts);

// Loads a stand-in archive library ("fails": Tar returns 7; "no_entry": no
// Tar at all) by its full path, so that the program's own
// LoadLibraryA("tar32.dll") gets the module already loaded under that name.
class PreloadedFakeTar {
  public:
    explicit PreloadedFakeTar(const std::string& kind);
    bool Loaded() const { return static_cast<bool>(module_); }

  private:
    ScopedModule module_;
};

// Runs a copy of this test binary, made in folder (no tar32.dll beside
// it), with only the named disabled test; true when that test passed and,
// at its end, wrote "ran" beside the copy.
bool PassesInACopy(const std::string& folder, const std::string& test);

// Whether the real archive library has been built beside the test binary.
bool HaveArchiveLibrary();
