#include <gtest/gtest.h>

#include <cstring>

#include "engine/UpdateEntry.h"
#include "tests/support/Scratch.h"
#include "tests/support/TestApp.h"

namespace {

struct StampTest : testing::Test {
    ScratchFolder scratch;
    std::string folder = scratch.Path();
    TestApp app{folder};
    char text[kTimeTextSize];
    int size = -1;

    void SetUp() override {
        app.WriteSettings("[Archive]\r\nURL=http://x/\r\nTempFolder=Tmp\r\n");
        ASSERT_TRUE(app.LoadSettings());
        std::memset(text, 'x', sizeof(text));
    }
};

TEST_F(StampTest, LocalCopyToTheSecondInLocalTime) {
    MakeFolder(folder + "data");
    WriteFileBytes(folder + "data\\a.dat", "12345");
    SetLocalWriteTime(folder + "data\\a.dat", 2005, 3, 4, 6, 5, 7, 999);
    EXPECT_EQ(app.GetFileStamp(false, "data\\a.dat", text, kTimeTextSize, &size), text);
    EXPECT_EQ(std::string(text, kTimeTextSize), std::string("2005/03/04 06:05:07") + '\0');
    EXPECT_EQ(size, 5);
}

TEST_F(StampTest, ArchiveCopyIsLookedUpInTheTemporaryFolder) {
    WriteFileBytes(folder + "Tmp\\a.dat", "archive copy");
    SetLocalWriteTime(folder + "Tmp\\a.dat", 2026, 12, 31, 23, 59, 59);
    app.GetFileStamp(true, "a.dat", text, kTimeTextSize, &size);
    EXPECT_STREQ(text, "2026/12/31 23:59:59");
    EXPECT_EQ(size, 12);
}

// A name is taken as written, never as a pattern.
TEST_F(StampTest, MissingCopyHasTheEmptyStamp) {
    WriteFileBytes(folder + "present.dat", "x");
    for (const char* name : {"absent.dat", "*.dat"}) {
        SCOPED_TRACE(name);
        std::memset(text, 'x', sizeof(text));
        size = -1;
        app.GetFileStamp(false, name, text, kTimeTextSize, &size);
        EXPECT_EQ(std::string(text, kTimeTextSize), std::string(kTimeTextSize, '\0'));
        EXPECT_EQ(size, 0);
    }
}

TEST_F(StampTest, CopiesWithinTheSameSecondAreEqual) {
    WriteFileBytes(folder + "one.dat", "same");
    WriteFileBytes(folder + "two.dat", "same");
    SetLocalWriteTime(folder + "one.dat", 2010, 7, 1, 12, 0, 30, 10);
    SetLocalWriteTime(folder + "two.dat", 2010, 7, 1, 12, 0, 30, 990);
    char other[kTimeTextSize];
    int otherSize = 0;
    app.GetFileStamp(false, "one.dat", text, kTimeTextSize, &size);
    app.GetFileStamp(false, "two.dat", other, kTimeTextSize, &otherSize);
    EXPECT_EQ(std::memcmp(text, other, kTimeTextSize), 0);
    EXPECT_EQ(size, otherSize);
}

TEST_F(StampTest, SmallBuffersStayTerminatedAndNullsAreIgnored) {
    WriteFileBytes(folder + "a.dat", "x");
    char small[8];
    app.GetFileStamp(false, "a.dat", small, sizeof(small), &size);
    EXPECT_EQ(std::strlen(small), sizeof(small) - 1);
    EXPECT_EQ(app.GetFileStamp(false, "a.dat", nullptr, kTimeTextSize, &size), nullptr);
    app.GetFileStamp(false, "a.dat", text, kTimeTextSize, nullptr);
    EXPECT_EQ(text[0], 'x'); // untouched
}

TEST_F(StampTest, ChainFromTheSettingsFile) {
    std::string ini = "[Archive]\r\nURL=http://x/\r\n[UpdateFiles]\r\n";
    for (int n = 1; n <= 105; ++n)
        ini += EntryKeyName(n) + "=file" + std::to_string(n) + ".dat\r\n";
    ini += "F107=after-gap.dat\r\n";
    app.WriteSettings(ini);
    WriteFileBytes(folder + "file100.dat", "hundred");

    UpdateEntry* head = LoadEntryChain(
        [&](const std::string& key) { return app.ReadProfileValue("UpdateFiles", key.c_str()); },
        [&](UpdateEntry& e) {
            app.GetFileStamp(false, e.folder + e.fileName, e.localTime, kTimeTextSize,
                             &e.localSize);
        });
    int count = 0;
    UpdateEntry* hundredth = nullptr;
    for (UpdateEntry* e = head; e != nullptr; e = e->next) {
        if (++count == 100)
            hundredth = e;
    }
    EXPECT_EQ(count, 105);
    ASSERT_NE(hundredth, nullptr);
    EXPECT_EQ(hundredth->fileName, "file100.dat");
    EXPECT_EQ(hundredth->localSize, 7);
    EXPECT_NE(hundredth->localTime[0], '\0');
    EXPECT_EQ(head->localTime[0], '\0'); // not installed: empty stamp
    FreeEntryChain(head);
}

} // namespace
