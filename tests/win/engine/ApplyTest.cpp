#include <cstdio>

#include "tests/win/engine/EngineFixture.h"

namespace {

constexpr ZipBuilder::LocalTime kOld = {2023, 1, 2, 3, 4, 5};
constexpr ZipBuilder::LocalTime kNew = {2024, 5, 6, 7, 8, 9};
// A file as "bytes @ last-write time", as a later check compares it; the
// time of kOld or kNew as it shows there.
std::string Seen(const std::string& path) {
    return ReadFileBytes(path) + " @ " + LocalWriteTimeText(path);
}
const std::string kAtOld = " @ 2023/01/02 03:04:05", kAtNew = " @ 2024/05/06 07:08:09";

struct ApplyTest : EngineTest {
    void SetUp() override { Configure("http://127.0.0.1:1/update.zip"); }

    // An archive copy in the temporary folder, as the unpacking leaves it.
    void Unpacked(const std::string& name, const std::string& bytes) {
        WriteFileBytes(tempFolder + name, bytes);
        SetWriteTime(tempFolder + name, kNew);
    }

    static void Mark(EntryChain& chain, std::initializer_list<int> states) {
        std::size_t n = 0;
        for (int state : states)
            chain[n++].state = static_cast<EntryState>(state);
    }

    // Files of a folder whose name starts like the temporary copies do.
    std::vector<std::string> Leftovers(const std::string& folder) const {
        return FindNames(folder + "tov*.tmp");
    }
};

TEST_F(ApplyTest, MiddleEntryInUseFailsAloneAndIsRetriedAlone) {
    for (const std::string name : {"first.dll", "second.dll", "third.dll"}) {
        Install(name, name + " old", kOld);
        Unpacked(name, name + " new");
    }
    EntryChain chain(app, {{"first.dll", ""}, {"second.dll", ""}, {"third.dll", ""}});
    Mark(chain, {NeedsUpdate, NeedsUpdate, NeedsUpdate});
    {
        LockedFile running(programFolder + "second.dll");
        ASSERT_TRUE(running.IsOpen());
        EXPECT_FALSE(app.ApplyUpdates(chain.head));
    }
    EXPECT_EQ(chain.States(), std::vector<int>({Updated, CopyFailed, Updated}));
    // The archive copy's time comes along; a later check finds them equal.
    EXPECT_EQ(Seen(programFolder + "first.dll"), "first.dll new" + kAtNew);
    EXPECT_EQ(Seen(programFolder + "second.dll"), "second.dll old" + kAtOld); // intact
    EXPECT_EQ(Seen(programFolder + "third.dll"), "third.dll new" + kAtNew);
    EXPECT_TRUE(Leftovers(programFolder).empty());
    EXPECT_TRUE(app.messages.empty());

    // Once the program is closed, a second run copies only the failed one.
    Unpacked("first.dll", "first newer"); // would show if copied again
    EXPECT_TRUE(app.ApplyUpdates(chain.head));
    EXPECT_EQ(chain.States(), std::vector<int>({Updated, Updated, Updated}));
    EXPECT_EQ(Seen(programFolder + "first.dll"), "first.dll new" + kAtNew);
    EXPECT_EQ(Seen(programFolder + "second.dll"), "second.dll new" + kAtNew);
    EXPECT_EQ(Seen(programFolder + "third.dll"), "third.dll new" + kAtNew);
}

// Linux under Wine offers a file that opens like any other and cannot be
// read: the process's own memory, /proc/self/mem, reached through drive Z:
// (the Unix root). As an archive copy it is one whose reading breaks off at
// once, after a copy straight over the installed file would already have
// emptied it.
TEST_F(ApplyTest, AnArchiveCopyThatCannotBeReadLeavesTheInstalledFileAsItWas) {
    if (!FileExists("Z:\\proc\\self\\mem") || !FolderExists("Z:\\tmp"))
        GTEST_SKIP() << "no /proc/self/mem and /tmp through drive Z:";
    char name[64];
    std::snprintf(name, sizeof(name), "Z:\\tmp\\tovarind-apply-%lu\\", GetCurrentProcessId());
    const std::string unixFolder = name;
    RemoveTree(unixFolder);
    MakeFolder(unixFolder);
    // From the program folder up to the root, then to /proc/self.
    std::string up;
    for (std::size_t at = unixFolder.find('\\') + 1; at < unixFolder.size(); ++at)
        up += unixFolder[at] == '\\' ? "..\\" : "";
    TestApp unixApp(unixFolder);
    unixApp.WriteSettings("[Archive]\r\nURL=http://127.0.0.1:1/\r\nTempFolder=" + up +
                          "proc\\self\r\n");
    ASSERT_TRUE(unixApp.LoadSettings());
    WriteFileBytes(unixFolder + "mem", "installed");
    SetWriteTime(unixFolder + "mem", kOld);
    EntryChain chain(unixApp, {{"mem", ""}});
    Mark(chain, {NeedsUpdate});
    EXPECT_FALSE(unixApp.ApplyUpdates(chain.head));
    EXPECT_EQ(chain[0].state, CopyFailed);
    EXPECT_EQ(Seen(unixFolder + "mem"), "installed" + kAtOld);
    EXPECT_TRUE(Leftovers(unixFolder).empty());
    RemoveTree(unixFolder);
}

TEST_F(ApplyTest, MissingDestinationFolderIsACopyFailure) {
    for (const char* name : {"a.txt", "b.txt", "c.txt"})
        Unpacked(name, name);
    MakeFolder(programFolder + "doc");
    EntryChain chain(app, {{"a.txt", "doc\\"}, {"b.txt", "nowhere\\"}, {"c.txt", ""}});
    Mark(chain, {NeedsUpdate, NeedsUpdate, CopyFailed});
    EXPECT_FALSE(app.ApplyUpdates(chain.head));
    EXPECT_EQ(chain.States(), std::vector<int>({Updated, CopyFailed, Updated}));
    EXPECT_EQ(ReadFileBytes(programFolder + "doc\\a.txt"), "a.txt"); // not installed before
    EXPECT_FALSE(FolderExists(programFolder + "nowhere"));           // no folder is made
    EXPECT_EQ(ReadFileBytes(programFolder + "c.txt"), "c.txt");
}

// One entry to update whose copy is missing or read-only, or whose
// installed file is: a failure leaves the installed file as it was, and no
// way leaves a temporary copy.
TEST_F(ApplyTest, OneEntryIsCopiedOrLeftAsItWas) {
    const std::string installed = programFolder + "app.exe", copy = tempFolder + "app.exe";
    struct Case {
        const char* name;
        bool unpacked;
        const std::string* readOnly; // nullptr: neither file
        bool copied;
    } const cases[] = {
        {"missing archive copy", false, nullptr, false},
        {"read-only installed file", true, &installed, false},
        {"read-only archive copy", true, &copy, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Install("app.exe", "installed", kOld);
        if (c.unpacked)
            Unpacked("app.exe", "new");
        if (c.readOnly != nullptr)
            SetFileAttributesA(c.readOnly->c_str(), FILE_ATTRIBUTE_READONLY);
        EntryChain chain(app, {{"app.exe", ""}});
        Mark(chain, {NeedsUpdate});
        EXPECT_EQ(app.ApplyUpdates(chain.head), c.copied);
        EXPECT_EQ(chain[0].state, c.copied ? Updated : CopyFailed);
        EXPECT_EQ(Seen(installed), c.copied ? "new" + kAtNew : "installed" + kAtOld);
        EXPECT_TRUE(Leftovers(programFolder).empty());
        SetFileAttributesA(installed.c_str(), FILE_ATTRIBUTE_NORMAL);
        SetFileAttributesA(copy.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(copy.c_str());
    }
}

TEST_F(ApplyTest, OnlyMarkedEntriesAreCopied) {
    for (const char* name : {"0.txt", "2.txt", "3.txt", "5.txt"}) {
        Install(name, "installed", kOld);
        Unpacked(name, "archive");
    }
    EntryChain chain(app, {{"0.txt", ""}, {"2.txt", ""}, {"3.txt", ""}, {"5.txt", ""}});
    Mark(chain, {NotCompared, Unchanged, Updated, 5});
    EXPECT_TRUE(app.ApplyUpdates(chain.head));
    EXPECT_EQ(chain.States(), std::vector<int>({NotCompared, Unchanged, Updated, 5}));
    for (const char* name : {"0.txt", "2.txt", "3.txt", "5.txt"})
        EXPECT_EQ(Seen(programFolder + name), "installed" + kAtOld) << name;
    EXPECT_TRUE(app.ApplyUpdates(nullptr));
}

// The program's file listed in a folder that holds another link to it:
// the new copy cannot take the program's own name, which that link leaves
// taken, and the link is put back where it was. The program is a copy of
// these tests, run for this alone: a link to a running program's file
// cannot be deleted, the copy's can once it has ended.
TEST_F(ApplyTest, TheProgramFileListedThroughAnotherLinkIsPutBack) {
    EXPECT_TRUE(PassesInACopy(scratch / "running\\", "ApplyTest.DISABLED_ProgramThroughALink"));
}

TEST_F(ApplyTest, DISABLED_ProgramThroughALink) {
    const std::string program = ModuleFileName(nullptr);
    const std::string name = program.substr(program.rfind('\\') + 1);
    const std::string link = programFolder + "sub\\" + name;
    MakeFolder(programFolder + "sub");
    ASSERT_TRUE(CreateHardLinkA(link.c_str(), program.c_str(), nullptr));
    Unpacked(name, "new");
    EntryChain chain(app, {{name, "sub\\"}});
    Mark(chain, {NeedsUpdate});
    EXPECT_FALSE(app.ApplyUpdates(chain.head));
    EXPECT_EQ(chain[0].state, CopyFailed);
    EXPECT_EQ(FindNames(link), std::vector<std::string>{name});
    EXPECT_EQ(FindNames(program + ".old-*"), std::vector<std::string>{});
    EXPECT_TRUE(Leftovers(programFolder + "sub\\").empty());
    // Beside the copy, where the tests that started it delete everything.
    MoveFileA((programFolder + "sub").c_str(), (BinaryFolder() + "sub").c_str());
    WriteFileBytes(BinaryFolder() + "ran", "");
}

TEST_F(ApplyTest, StartUpRemovesOnlyCopiesThatAnUpdateOfItselfSetAside) {
    // The program file is Tovarind.exe in the program folder; a listed
    // file is the user's whatever its name.
    app.WriteSettings("[Archive]\r\nURL=http://127.0.0.1:1/update.zip\r\n"
                      "[UpdateFiles]\r\nF01=Tovarind.exe.old-feedbeef\r\n");
    struct Case {
        const char* name;
        bool removed;
    } const cases[] = {
        {"Tovarind.exe.old-0123abcd", true},  {"TOVARIND.EXE.OLD-89ABCDEF", true},
        {"Tovarind.exe.old-0123abc", false},  {"Tovarind.exe.old-0123abcde", false},
        {"Tovarind.exe.old-0123abcg", false}, {"Tovarind.exe.old-feedbeef", false},
        {"Other.exe.old-0123abcd", false},    {"Tovarind.exe", false},
    };
    for (const Case& c : cases)
        WriteFileBytes(programFolder + c.name, c.name);
    MakeFolder(programFolder + "Tovarind.exe.old-00000000");
    app.RemoveSetAsideCopies();
    for (const Case& c : cases)
        EXPECT_EQ(!c.removed, FileExists(programFolder + c.name)) << c.name;
    EXPECT_TRUE(FolderExists(programFolder + "Tovarind.exe.old-00000000"));
    EXPECT_TRUE(app.messages.empty());
}

} // namespace
