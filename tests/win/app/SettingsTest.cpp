#include <gtest/gtest.h>

#include <vector>

#include "tests/support/Scratch.h"
#include "tests/support/SystemTexts.h"
#include "tests/support/TestApp.h"

namespace {

// A PublicKey value made by make_minisign_fixtures.py beside the test binary.
std::string KeyFixture(const std::string& name) {
    return ReadFileBytes(BinaryFolder() + "minisign-fixture\\key-" + name + ".txt");
}

// A symbolic link to a folder, made and removed on the Unix side by ln and rm,
// which Wine starts natively (its CreateSymbolicLinkA reports success without
// making one). It goes before the scratch folder is removed, which would
// otherwise walk into it.
class FolderLink {
  public:
    FolderLink(std::string folder, std::string name, const std::string& target)
        : folder_(std::move(folder)), name_(std::move(name)) {
        RunToEnd("/bin/ln -s " + target + " " + name_, folder_, 10000);
        for (int i = 0; i < 100 && !FolderExists(folder_ + name_); ++i)
            Sleep(50);
    }
    ~FolderLink() { RunToEnd("/bin/rm " + name_, folder_, 10000); }
    FolderLink(const FolderLink&) = delete;
    FolderLink& operator=(const FolderLink&) = delete;

  private:
    std::string folder_, name_;
};

// A settings file with a URL: lines (each ending in "\r\n") follow in [Archive].
std::string Ini(const std::string& lines, const std::string& url = "http://x/") {
    return "[Archive]\r\nURL=" + url + "\r\n" + lines;
}

struct SettingsTest : testing::Test {
    ScratchFolder scratch;
    std::string programFolder = scratch / "App\\";
    TestApp app{programFolder};

    void SetUp() override { MakeFolder(programFolder); }

    // Writes the settings and loads them: taken without a word.
    void Load(const std::string& ini) {
        SCOPED_TRACE(ini);
        app.messages.clear();
        app.WriteSettings(ini);
        ASSERT_TRUE(app.LoadSettings());
        EXPECT_TRUE(app.messages.empty());
    }

    // Loading ini (empty: no settings file at all) stops with one
    // exclamation box that says text.
    void ExpectRefused(const std::string& ini, const std::string& text) {
        SCOPED_TRACE(ini);
        if (ini.empty())
            app.SetProfileName(programFolder + "absent.ini");
        else
            app.WriteSettings(ini);
        app.messages.clear();
        EXPECT_FALSE(app.LoadSettings());
        ASSERT_EQ(app.messages.size(), 1u);
        EXPECT_EQ(app.messages[0].text, text);
        EXPECT_EQ(app.messages[0].style, UINT(MB_OK | MB_ICONEXCLAMATION));
    }
};

TEST_F(SettingsTest, ModuleFolderEndsWithABackslash) {
    EXPECT_EQ(app.ModuleFolder(), programFolder);
    EXPECT_EQ(app.TempFolderPath(), programFolder + "\\"); // no TempFolder loaded yet
}

// Each value as it is read, in the order of UpdaterSettings, so that a row
// compares them all at once.
std::vector<std::string> Values(const UpdaterSettings& s) {
    return {s.Title,     s.URL,       s.TempFolder,   s.Program,
            s.UpdateDoc, s.PublicKey, s.SignatureURL, s.QuickCheck ? "quick" : ""};
}

TEST_F(SettingsTest, ReadsEveryValue) {
    const std::string key = KeyFixture("a");
    ASSERT_FALSE(key.empty());
    const std::string url = "http://127.0.0.1:8080/update.zip", sig = url + ".minisig";
    const std::string tmp = "UpdateArchive";
    const struct {
        const char* name;
        std::string lines;
        std::vector<std::string> values;
    } cases[] = {
        {"every value",
         "Title=サンプル 100%\r\n[AutoRun]\r\nProgram=bin\\app.exe\r\nUpdateDoc=更新履歴.txt\r\n",
         {"サンプル 100%", url, tmp, "bin\\app.exe", "更新履歴.txt", "", sig, ""}},
        {"a key", "PublicKey=" + key + "\r\n", {"", url, tmp, "", "", key, sig, ""}},
        {"a key and its signature's URL",
         "PublicKey=" + key + "\r\nSignatureURL=http://y/s.sig\r\n",
         {"", url, tmp, "", "", key, "http://y/s.sig", ""}},
        // Without a key everything is as before: nothing to verify with.
        {"an empty key", "PublicKey=\r\n", {"", url, tmp, "", "", "", sig, ""}},
        // The quick check is off unless it says 1 (anything else stops, below).
        {"QuickCheck=", "QuickCheck=\r\n", {"", url, tmp, "", "", "", sig, ""}},
        {"QuickCheck=0", "QuickCheck=0\r\n", {"", url, tmp, "", "", "", sig, ""}},
        {"QuickCheck=1", "QuickCheck=1\r\n", {"", url, tmp, "", "", "", sig, "quick"}},
        {"QuickCheck= 1 ", "QuickCheck= 1 \r\n", {"", url, tmp, "", "", "", sig, "quick"}},
        {"a value cut at 4095 bytes",
         "Title=" + std::string(5000, 'T') + "\r\n",
         {std::string(4095, 'T'), url, tmp, "", "", "", sig, ""}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Load(Ini(c.lines, url));
        EXPECT_EQ(Values(app.Settings()), c.values);
    }
}

TEST_F(SettingsTest, MakesTheTemporaryFolder) {
    const struct {
        const char* tempFolder;
        std::string folder; // made, or (made false) left alone
        bool made;
    } cases[] = {
        {"", programFolder + "UpdateArchive", true}, // none given
        {"作業表", programFolder + "作業表", true}, // its last byte 0x5C is the trail byte of "表"
        {"Missing\\Tmp", programFolder + "Missing", false}, // only the last level, silently
        {"..\\AppUpdate", scratch / "AppUpdate", true},     // outside the program folder
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.tempFolder);
        Load(Ini(*c.tempFolder ? "TempFolder=" + std::string(c.tempFolder) + "\r\n" : ""));
        EXPECT_EQ(FolderExists(c.folder), c.made);
        const std::string path = programFolder + (*c.tempFolder ? c.tempFolder : "UpdateArchive");
        EXPECT_EQ(app.TempFolderPath(), path + "\\");
        EXPECT_EQ(app.ArchivePath(), path + "\\Archive.zip");
    }
}

// Settings it cannot use stop loading with their one message before any
// temporary folder is made. A key that cannot be used must stop the
// program, never turn signing off; so must a QuickCheck that is neither
// 1 nor 0.
TEST_F(SettingsTest, UnusableSettingsStopBeforeTheTemporaryFolder) {
    struct Case {
        std::string name;
        std::string ini; // empty: no settings file at all
        std::string message;
    };
    const std::string tmp = Ini("TempFolder=Tmp\r\n", "http://x/u.zip");
    std::vector<Case> cases = {
        {"no settings file", "", texts::kMissingUrl},
        {"empty URL", "[Archive]\r\nTitle=App\r\nURL=\r\nTempFolder=Tmp\r\n", texts::kMissingUrl},
        {"the comment line", tmp + "PublicKey=untrusted comment: minisign public key",
         texts::kBadPublicKey},
        {"signature URL without a key", tmp + "SignatureURL=http://x/u.zip.minisig",
         texts::kBadPublicKey},
    };
    for (const char* key : {"short", "long", "bad-base64", "wrong-algorithm"})
        cases.push_back({std::string("key ") + key, tmp + "PublicKey=" + KeyFixture(key),
                         texts::kBadPublicKey});
    for (const char* value : {"2", "yes", "on", "01", "1 1"})
        cases.push_back({"QuickCheck=" + std::string(value), tmp + "QuickCheck=" + value,
                         texts::kBadQuickCheck});
    // Unpacking in the program folder would overwrite installed files;
    // clearing it at exit would delete them. "App." folds to "App"; a
    // segment ". " before a backslash does not fold (it is a folder of that
    // name) and is allowed.
    for (const std::string value :
         {".", ".\\", "..", "..\\..", "\\", "sub\\..", "..\\App", "..\\APP\\", "..\\App.", "./"})
        cases.push_back({"TempFolder=" + value, Ini("TempFolder=" + value),
                         texts::kTempFolderRefused + programFolder + value + "\\"});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ExpectRefused(c.ini.empty() ? "" : c.ini + "\r\n", c.message);
        EXPECT_FALSE(FolderExists(programFolder + "Tmp"));
        EXPECT_FALSE(FolderExists(programFolder + "UpdateArchive"));
    }
    EXPECT_EQ(app.Settings().TempFolder, "./");
    EXPECT_FALSE(FolderExists(programFolder + "sub"));
}

TEST_F(SettingsTest, RefusesATemporaryFolderThatIsOrHoldsAListedFilesFolderByAnyName) {
    // Unpacking there would overwrite a listed file before the user agrees;
    // clearing it at exit would delete the user's own files beside it.
    MakeFolder(programFolder + "data");
    MakeFolder(programFolder + "Long Folder Name");
    FolderLink appLink(scratch.Path(), "AppLink", "App");
    FolderLink dataLink(programFolder, "datalink", "data");
    ASSERT_TRUE(FolderExists(scratch / "AppLink\\data")) << "no Unix link";
    char alias[MAX_PATH] = {};
    ASSERT_NE(0u, GetShortPathNameA((programFolder + "Long Folder Name").c_str(), alias, MAX_PATH));
    const std::string shortName = std::string(alias).substr(std::string(alias).rfind('\\') + 1);
    ASSERT_NE("Long Folder Name", shortName);
    const std::string listed = "[UpdateFiles]\r\nF01=App.exe\r\nF02=sample.dat,data\\\r\n"
                               "F03=notes.txt,Long Folder Name\\\r\nF04=x.dat,newdir\\sub\\\r\n"
                               "F05=y.dat,other/\r\n";

    // Refused: letter case and a trailing backslash, a link to a listed
    // folder or to the program folder, the 8.3 alias of a listed folder, a
    // folder that holds a listed one not made yet, one written with a
    // forward slash. Allowed: inside a listed folder, with nothing listed in it.
    const std::vector<std::string> refused = {
        "data",    "DATA\\", "datalink",    "..\\AppLink", "..\\AppLink\\Data",
        shortName, "newdir", "NewDir\\Sub", "other"};
    for (const std::string& tempFolder : refused)
        ExpectRefused(Ini("TempFolder=" + tempFolder + "\r\n" + listed),
                      texts::kTempFolderRefused + programFolder + tempFolder + "\\");
    for (const char* tempFolder : {"data\\tmp", "datax", "newdir\\sub\\deeper"})
        Load(Ini("TempFolder=" + std::string(tempFolder) + "\r\n" + listed));
    // Nothing was made for a refused folder.
    EXPECT_FALSE(FolderExists(programFolder + "newdir"));
}

// Counts the windows the thread tries to make while it lives, and lets none
// be made, so that a dialog shown by mistake fails instead of waiting.
class WindowCreations {
  public:
    WindowCreations() : hook_(SetWindowsHookExA(WH_CBT, &Refuse, nullptr, GetCurrentThreadId())) {
        count_ = 0;
    }
    ~WindowCreations() { UnhookWindowsHookEx(hook_); }
    WindowCreations(const WindowCreations&) = delete;
    WindowCreations& operator=(const WindowCreations&) = delete;
    bool Hooked() const { return hook_ != nullptr; }
    int Count() const { return count_; }

  private:
    static LRESULT CALLBACK Refuse(int code, WPARAM, LPARAM) {
        if (code != HCBT_CREATEWND)
            return 0;
        ++count_;
        return 1;
    }
    static int count_;
    HHOOK hook_;
};
int WindowCreations::count_ = 0;

// Start-up with settings it cannot use shows its one message and ends:
// before any window, and without the clean-up, which would otherwise empty
// a temporary folder it was never given (without a URL), or the program
// folder itself.
TEST_F(SettingsTest, StartUpStopsAtUnusableSettingsBeforeAnyWindowAndDeletesNothing) {
    const struct {
        const char* name;
        std::string settings;
        std::string message;
    } cases[] = {
        {"no URL", "[Archive]\r\nTitle=App\r\nTempFolder=Tmp\r\n", texts::kMissingUrl},
        {"the program folder as TempFolder", "[Archive]\r\nURL=http://x/\r\nTempFolder=.\r\n",
         texts::kTempFolderRefused},
    };
    WriteFileBytes(programFolder + "app.exe", "installed");
    MakeFolder(programFolder + "Tmp");
    WriteFileBytes(programFolder + "Tmp\\Archive.zip", "from an earlier run");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        app.WriteSettings(c.settings);
        app.messages.clear();
        WindowCreations windows;
        ASSERT_TRUE(windows.Hooked());
        EXPECT_FALSE(app.InitInstance());
        EXPECT_EQ(windows.Count(), 0);
        ASSERT_EQ(app.messages.size(), 1u);
        EXPECT_EQ(app.messages[0].text.substr(0, c.message.size()), c.message);
        for (const char* file : {"app.exe", "Tovarind.ini", "Tmp\\Archive.zip"})
            EXPECT_TRUE(FileExists(programFolder + file)) << file;
    }
}

} // namespace
