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

struct SettingsTest : testing::Test {
    ScratchFolder scratch;
    std::string programFolder = scratch / "App\\";
    TestApp app{programFolder};

    void SetUp() override { MakeFolder(programFolder); }

    // Loading stops with one exclamation box that says text.
    void ExpectLoadRefused(const std::string& text) {
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

TEST_F(SettingsTest, NoSettingsFileReportsTheMissingUrl) {
    app.SetProfileName(programFolder + "Tovarind.ini");
    ExpectLoadRefused(texts::kMissingUrl);
    EXPECT_FALSE(FolderExists(programFolder + "UpdateArchive"));
}

TEST_F(SettingsTest, EmptyUrlStopsBeforeTheTemporaryFolder) {
    app.WriteSettings("[Archive]\r\nTitle=App\r\nURL=\r\nTempFolder=Tmp\r\n");
    ExpectLoadRefused(texts::kMissingUrl);
    EXPECT_FALSE(FolderExists(programFolder + "Tmp"));
}

TEST_F(SettingsTest, ReadsEveryValueAndMakesTheDefaultTemporaryFolder) {
    app.WriteSettings("[Archive]\r\n"
                      "Title=サンプル 100%\r\n"
                      "URL=http://127.0.0.1:8080/update.zip\r\n"
                      "[AutoRun]\r\n"
                      "Program=bin\\app.exe\r\n"
                      "UpdateDoc=更新履歴.txt\r\n");
    ASSERT_TRUE(app.LoadSettings());
    EXPECT_TRUE(app.messages.empty());
    const UpdaterSettings& s = app.Settings();
    EXPECT_EQ(s.Title, "サンプル 100%");
    EXPECT_EQ(s.URL, "http://127.0.0.1:8080/update.zip");
    EXPECT_EQ(s.TempFolder, "UpdateArchive");
    EXPECT_EQ(s.Program, "bin\\app.exe");
    EXPECT_EQ(s.UpdateDoc, "更新履歴.txt");
    EXPECT_TRUE(FolderExists(programFolder + "UpdateArchive"));
    EXPECT_EQ(app.TempFolderPath(), programFolder + "UpdateArchive\\");
    EXPECT_EQ(app.ArchivePath(), programFolder + "UpdateArchive\\Archive.zip");
}

TEST_F(SettingsTest, CustomTemporaryFolders) {
    // A name whose last byte is 0x5C (the trail byte of "表").
    app.WriteSettings("[Archive]\r\nURL=http://x/\r\nTempFolder=作業表\r\n");
    ASSERT_TRUE(app.LoadSettings());
    EXPECT_TRUE(FolderExists(programFolder + "作業表"));
    EXPECT_EQ(app.ArchivePath(), programFolder + "作業表\\Archive.zip");

    // Only the last level is made, silently: the check reports it later.
    app.WriteSettings("[Archive]\r\nURL=http://x/\r\nTempFolder=Missing\\Tmp\r\n");
    ASSERT_TRUE(app.LoadSettings());
    EXPECT_TRUE(app.messages.empty());
    EXPECT_FALSE(FolderExists(programFolder + "Missing"));

    // A folder outside the program folder (a sibling) is allowed.
    app.WriteSettings("[Archive]\r\nURL=http://x/\r\nTempFolder=..\\AppUpdate\r\n");
    ASSERT_TRUE(app.LoadSettings());
    EXPECT_TRUE(app.messages.empty());
    EXPECT_TRUE(FolderExists(scratch / "AppUpdate"));
}

TEST_F(SettingsTest, RefusesATemporaryFolderThatHoldsTheProgram) {
    // Unpacking there would overwrite installed files; clearing it at exit
    // would delete them.
    // "App." folds to "App"; a segment ". " before a backslash does not fold
    // (it is a folder of that name) and is allowed.
    for (const char* value :
         {".", ".\\", "..", "..\\..", "\\", "sub\\..", "..\\App", "..\\APP\\", "..\\App.", "./"}) {
        SCOPED_TRACE(value);
        app.WriteSettings(std::string("[Archive]\r\nURL=http://x/\r\nTempFolder=") + value +
                          "\r\n");
        ExpectLoadRefused(texts::kTempFolderRefused + programFolder + value + "\\");
    }
    EXPECT_EQ(app.Settings().TempFolder, "./");
    EXPECT_FALSE(FolderExists(programFolder + "sub"));
}

TEST_F(SettingsTest, SigningSettings) {
    const std::string key = KeyFixture("a");
    ASSERT_FALSE(key.empty());
    app.WriteSettings("[Archive]\r\nURL=http://x/u.zip\r\nPublicKey=" + key + "\r\n");
    ASSERT_TRUE(app.LoadSettings());
    EXPECT_EQ(app.Settings().PublicKey, key);
    EXPECT_EQ(app.Settings().SignatureURL, "http://x/u.zip.minisig");

    app.WriteSettings("[Archive]\r\nURL=http://x/u.zip\r\nPublicKey=" + key +
                      "\r\nSignatureURL=http://y/s.sig\r\n");
    ASSERT_TRUE(app.LoadSettings());
    EXPECT_EQ(app.Settings().SignatureURL, "http://y/s.sig");

    // Without a key everything is as before: nothing to verify with.
    app.WriteSettings("[Archive]\r\nURL=http://x/u.zip\r\nPublicKey=\r\n");
    ASSERT_TRUE(app.LoadSettings());
    EXPECT_EQ(app.Settings().PublicKey, "");
    EXPECT_TRUE(app.messages.empty());
}

// A key that cannot be used must stop the program, never turn signing off.
TEST_F(SettingsTest, AnUnusablePublicKeyStopsLikeAMissingUrl) {
    struct Case {
        std::string name, lines;
    };
    const std::vector<Case> cases = {
        {"short", "PublicKey=" + KeyFixture("short")},
        {"long", "PublicKey=" + KeyFixture("long")},
        {"bad base64", "PublicKey=" + KeyFixture("bad-base64")},
        {"wrong algorithm", "PublicKey=" + KeyFixture("wrong-algorithm")},
        {"the comment line", "PublicKey=untrusted comment: minisign public key"},
        {"signature URL without a key", "SignatureURL=http://x/u.zip.minisig"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        app.WriteSettings("[Archive]\r\nURL=http://x/u.zip\r\nTempFolder=Tmp\r\n" + c.lines +
                          "\r\n");
        ExpectLoadRefused(texts::kBadPublicKey);
        EXPECT_FALSE(FolderExists(programFolder + "Tmp"));
    }
}

// Off unless it says 1; a value that is neither stops, as a bad key does.
TEST_F(SettingsTest, QuickCheckIsOneOrOffAndAnythingElseStops) {
    const std::string url = "[Archive]\r\nURL=http://x/u.zip\r\n";
    for (const auto& [lines, on] :
         std::vector<std::pair<std::string, bool>>{{"", false},
                                                   {"QuickCheck=\r\n", false},
                                                   {"QuickCheck=0\r\n", false},
                                                   {"QuickCheck=1\r\n", true},
                                                   {"QuickCheck= 1 \r\n", true}}) {
        SCOPED_TRACE(lines);
        app.WriteSettings(url + lines);
        ASSERT_TRUE(app.LoadSettings());
        EXPECT_EQ(app.Settings().QuickCheck, on);
    }
    EXPECT_TRUE(app.messages.empty());
    for (const char* value : {"2", "yes", "on", "01", "1 1"}) {
        SCOPED_TRACE(value);
        app.WriteSettings(url + "TempFolder=Tmp\r\nQuickCheck=" + value + "\r\n");
        ExpectLoadRefused(texts::kBadQuickCheck);
        EXPECT_FALSE(FolderExists(programFolder + "Tmp"));
    }
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

    struct Case {
        std::string tempFolder;
        bool refused;
    } const cases[] = {
        {"data", true},
        {"DATA\\", true},      // letter case, trailing backslash
        {"datalink", true},    // a link to a listed folder
        {"..\\AppLink", true}, // a link to the program folder
        {"..\\AppLink\\Data", true},
        {shortName, true}, // the 8.3 alias of a listed folder
        {"newdir", true},  // holds a listed folder that does not exist yet
        {"NewDir\\Sub", true},
        {"other", true},      // a folder written with a forward slash
        {"data\\tmp", false}, // inside a listed folder: nothing listed in it
        {"datax", false},
        {"newdir\\sub\\deeper", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.tempFolder);
        app.messages.clear();
        app.WriteSettings("[Archive]\r\nURL=http://x/\r\nTempFolder=" + c.tempFolder +
                          "\r\n[UpdateFiles]\r\nF01=App.exe\r\nF02=sample.dat,data\\\r\n"
                          "F03=notes.txt,Long Folder Name\\\r\nF04=x.dat,newdir\\sub\\\r\n"
                          "F05=y.dat,other/\r\n");
        EXPECT_EQ(!c.refused, app.LoadSettings());
        if (c.refused) {
            ASSERT_EQ(1u, app.messages.size());
            EXPECT_EQ(texts::kTempFolderRefused + programFolder + c.tempFolder + "\\",
                      app.messages[0].text);
        } else {
            EXPECT_TRUE(app.messages.empty());
        }
    }
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

TEST_F(SettingsTest, LongValuesAreCutAt4095Bytes) {
    const std::string longTitle(5000, 'T');
    app.WriteSettings("[Archive]\r\nTitle=" + longTitle + "\r\nURL=http://x/\r\n");
    ASSERT_TRUE(app.LoadSettings());
    EXPECT_EQ(app.Settings().Title, std::string(4095, 'T'));
}

} // namespace
