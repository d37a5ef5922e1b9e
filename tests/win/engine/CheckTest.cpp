#include "tests/support/LoopbackServer.h"
#include "tests/win/engine/EngineFixture.h"

namespace {

const std::string kUnpackError = "ｱｰｶｲﾌﾞﾃﾞｰﾀ解凍中にｴﾗｰが起きました。\r\n\r\n";

constexpr ZipBuilder::LocalTime kRelease = {2024, 5, 6, 7, 8, 10};
constexpr ZipBuilder::LocalTime kSecondEarlier = {2024, 5, 6, 7, 8, 9};
constexpr ZipBuilder::LocalTime kLastYear = {2023, 1, 2, 3, 4, 6};

struct CheckTest : EngineTest {
    LoopbackServer server;
    int count = -1;

    void Serve(const ZipBuilder& zip) {
        server.ServeBytes("/update.zip", zip.Bytes());
        Configure(server.Url("/update.zip"));
    }
    void SetUp() override { ASSERT_TRUE(HaveArchiveLibrary()) << "tar32.dll is not built"; }
};

TEST_F(CheckTest, EveryKindOfDifferenceAndAbsence) {
    Install("same.dll", "same", kRelease);
    Install("newer.dll", "newer", kSecondEarlier); // the archive copy is one second newer
    Install("older.dll", "older", kRelease);
    Install("resized.dll", "resized", kRelease);
    Install("absent.dll", "absent", kRelease);
    Install("empty.dll", "empty", kRelease);
    MakeFolder(programFolder + "one");
    MakeFolder(programFolder + "two");
    Install("one\\shared.dat", "shared", kRelease);
    Install("two\\shared.dat", "other", kRelease);
    ZipBuilder zip;
    zip.Add("same.dll", "same", kRelease)
        .Add("bin/newer.dll", "newer", kRelease) // folders in the archive are dropped
        .Add("older.dll", "older", kLastYear)
        .Add("resized.dll", "resized!", kRelease)
        .Add("empty.dll", "", kRelease)
        .Add("lib/deep/fresh.dll", "fresh", kRelease)
        .Add("shared.dat", "shared", kRelease);
    Serve(zip);
    EntryChain chain(app, {{"same.dll", ""},
                           {"newer.dll", ""},
                           {"older.dll", ""},
                           {"resized.dll", ""},
                           {"absent.dll", ""},
                           {"empty.dll", ""},
                           {"fresh.dll", ""},
                           {"shared.dat", "one\\"},
                           {"shared.dat", "two\\"}});
    ASSERT_TRUE(app.CheckForUpdates(chain.head, &count));
    EXPECT_TRUE(app.messages.empty());
    EXPECT_EQ(chain.States(),
              std::vector<int>({Unchanged, NeedsUpdate, NeedsUpdate, NeedsUpdate, NotCompared,
                                NotCompared, NeedsUpdate, Unchanged, NeedsUpdate}));
    EXPECT_EQ(count, 5);
    // The archive stamps are what the list shows afterwards.
    EXPECT_STREQ(chain[1].archiveTime, "2024/05/06 07:08:10");
    EXPECT_EQ(chain[1].archiveSize, 5);
    EXPECT_STREQ(chain[2].archiveTime, "2023/01/02 03:04:06");
    EXPECT_EQ(chain[4].archiveTime[0], '\0'); // missing from the archive
    EXPECT_EQ(chain[4].archiveSize, 0);
    EXPECT_STREQ(chain[5].archiveTime, "2024/05/06 07:08:10"); // stamped, but empty
    EXPECT_EQ(chain[5].archiveSize, 0);
    EXPECT_TRUE(FileExists(tempFolder + "fresh.dll"));
    EXPECT_FALSE(FolderExists(tempFolder + "lib"));
    EXPECT_EQ(server.LastUserAgent(), "Tovarind Session");
}

TEST_F(CheckTest, AnUpToDateInstallationCountsNothing) {
    Install("app.exe", "program", kRelease);
    MakeFolder(programFolder + "data");
    Install("data\\table.dat", "table", kLastYear);
    ZipBuilder zip;
    zip.Add("app.exe", "program", kRelease).Add("data/table.dat", "table", kLastYear);
    Serve(zip);
    EntryChain chain(app, {{"app.exe", ""}, {"table.dat", "data\\"}});
    count = 7;
    ASSERT_TRUE(app.CheckForUpdates(chain.head, &count));
    EXPECT_EQ(count, 0);
    EXPECT_EQ(chain.States(), std::vector<int>({Unchanged, Unchanged}));
    EXPECT_TRUE(app.messages.empty());
}

TEST_F(CheckTest, EmptyListStillDownloadsAndUnpacks) {
    ZipBuilder zip;
    zip.Add("app.exe", "program", kRelease);
    Serve(zip);
    ASSERT_TRUE(app.CheckForUpdates(nullptr, &count));
    EXPECT_EQ(count, 0);
    EXPECT_TRUE(app.messages.empty());
    EXPECT_EQ(server.RequestCount("/update.zip"), 1);
    EXPECT_EQ(ReadFileBytes(tempFolder + "app.exe"), "program");
}

TEST_F(CheckTest, GarbageIsAnUnpackingErrorAndCountsNothing) {
    Install("app.exe", "program", kRelease);
    server.ServeBytes("/update.zip", "<html>this is not an archive</html>");
    Configure(server.Url("/update.zip"));
    EntryChain chain(app, {{"app.exe", ""}});
    EXPECT_TRUE(app.CheckForUpdates(chain.head, &count));
    EXPECT_EQ(count, 0);
    EXPECT_EQ(MessageTexts(), std::vector<std::string>(
                                  {kUnpackError + "--use-directory=0 --display-dialog=0 xvf \"" +
                                   archivePath + "\" -o \"" + programFolder + "UpdateArchive\""}));
    EXPECT_EQ(chain[0].state, NotCompared);
}

TEST_F(CheckTest, ASecondCheckComparesAgainstTheNewArchive) {
    Install("app.exe", "program", kRelease);
    ZipBuilder same;
    same.Add("app.exe", "program", kRelease);
    Serve(same);
    EntryChain chain(app, {{"app.exe", ""}});
    ASSERT_TRUE(app.CheckForUpdates(chain.head, &count));
    EXPECT_EQ(chain[0].state, Unchanged);
    ZipBuilder changed;
    changed.Add("app.exe", "program 2", kRelease);
    server.ServeBytes("/update2.zip", changed.Bytes());
    Configure(server.Url("/update2.zip"));
    ASSERT_TRUE(app.CheckForUpdates(chain.head, &count));
    EXPECT_EQ(chain[0].state, NeedsUpdate);
    EXPECT_EQ(count, 1);
    EXPECT_EQ(chain[0].archiveSize, 9);
}

TEST(CheckWithFailingLibrary, TrueWithNothingCountedAndNothingTouched) {
    ScratchFolder scratch;
    const std::string folder = scratch / "App\\";
    MakeFolder(folder);
    TestApp app(folder);
    LoopbackServer server;
    ZipBuilder zip;
    zip.Add("app.exe", "new", kRelease);
    server.ServeBytes("/update.zip", zip.Bytes());
    app.WriteSettings("[Archive]\r\nURL=" + server.Url("/update.zip") + "\r\n");
    ASSERT_TRUE(app.LoadSettings());
    WriteFileBytes(folder + "app.exe", "old");
    // A copy from an earlier run that a comparison would find.
    WriteFileBytes(folder + "UpdateArchive\\app.exe", "new");
    EntryChain chain(app, {{"app.exe", ""}});
    PreloadedFakeTar fake("fails");
    ASSERT_TRUE(fake.Loaded());
    int count = 3;
    EXPECT_TRUE(app.CheckForUpdates(chain.head, &count));
    EXPECT_EQ(count, 0);
    EXPECT_EQ(chain[0].state, NotCompared);
    EXPECT_EQ(chain[0].archiveSize, 0);
    ASSERT_EQ(app.messages.size(), 1u);
    EXPECT_EQ(app.messages[0].text.substr(0, kUnpackError.size()), kUnpackError);
}

} // namespace
