#include "engine/TarCommand.h"
#include "tests/support/LoopbackServer.h"
#include "tests/support/SystemTexts.h"
#include "tests/win/engine/EngineFixture.h"

namespace {

using Reply = LoopbackServer::Reply;
using texts::kReceiveFailed;
using texts::kSignatureRefused;
using texts::kUnpackFailed;

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
    // Without a key no signature is asked for: the same one request as ever.
    EXPECT_EQ(server.RequestCount(), 1);
}

TEST_F(CheckTest, GarbageIsAnUnpackingErrorAndCountsNothing) {
    Install("app.exe", "program", kRelease);
    server.ServeBytes("/update.zip", "<html>this is not an archive</html>");
    Configure(server.Url("/update.zip"));
    EntryChain chain(app, {{"app.exe", ""}});
    EXPECT_TRUE(app.CheckForUpdates(chain.head, &count));
    EXPECT_EQ(count, 0);
    EXPECT_EQ(MessageTexts(),
              std::vector<std::string>(
                  {kUnpackFailed + TarCommandLine(archivePath, programFolder + "UpdateArchive")}));
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

struct CheckWithFailingLibrary : EngineTest {};

TEST_F(CheckWithFailingLibrary, TrueWithNothingCountedAndNothingTouched) {
    LoopbackServer server;
    ZipBuilder zip;
    zip.Add("app.exe", "new", kRelease);
    server.ServeBytes("/update.zip", zip.Bytes());
    Configure(server.Url("/update.zip"));
    WriteFileBytes(programFolder + "app.exe", "old");
    // A copy from an earlier run that a comparison would find.
    WriteFileBytes(tempFolder + "app.exe", "new");
    EntryChain chain(app, {{"app.exe", ""}});
    PreloadedFakeTar fake("fails");
    ASSERT_TRUE(fake.Loaded());
    int count = 3;
    EXPECT_TRUE(app.CheckForUpdates(chain.head, &count));
    EXPECT_EQ(count, 0);
    EXPECT_EQ(chain[0].state, NotCompared);
    EXPECT_EQ(chain[0].archiveSize, 0);
    ASSERT_EQ(app.messages.size(), 1u);
    EXPECT_EQ(app.messages[0].text.substr(0, kUnpackFailed.size()), kUnpackFailed);
}

// Made by the real minisign tool at build time (make_minisign_fixtures.py):
// update.zip holds app.exe "program 2", 2024/05/06 07:08:10.
std::string SigningFixture(const std::string& name) {
    return ReadFileBytes(BinaryFolder() + "minisign-fixture\\" + name);
}

struct SignedCheckTest : CheckTest {
    EntryChain* chain = nullptr;

    static Reply Sig(const std::string& name) { return Reply(SigningFixture(name + ".minisig")); }

    // Serves the archive and a signature reply, then checks with key a.
    bool Check(const std::string& archive, const Reply& signature) {
        server.ServeBytes("/update.zip", SigningFixture(archive));
        server.Serve("/update.zip.minisig", signature);
        UseKeyA();
        app.messages.clear();
        count = -1;
        return app.CheckForUpdates(chain->head, &count);
    }
    // Settings for the archive at /update.zip, verified with key a.
    void UseKeyA() {
        app.WriteSettings("[Archive]\r\nURL=" + server.Url("/update.zip") +
                          "\r\nPublicKey=" + SigningFixture("key-a.txt") + "\r\n");
        EXPECT_TRUE(app.LoadSettings());
    }
};

TEST_F(SignedCheckTest, SignedArchivesInEveryAcceptedFormAreUnpacked) {
    Install("app.exe", "program", kRelease);
    EntryChain entries(app, {{"app.exe", ""}});
    chain = &entries;
    for (const char* signature : {"good", "legacy", "crlf"}) {
        SCOPED_TRACE(signature);
        RemoveTree(tempFolder);
        MakeFolder(tempFolder);
        EXPECT_TRUE(Check("update.zip", Sig(signature)));
        EXPECT_TRUE(app.messages.empty());
        EXPECT_EQ(count, 1);
        EXPECT_EQ(entries[0].state, NeedsUpdate);
        EXPECT_EQ(ReadFileBytes(tempFolder + "app.exe"), "program 2");
    }
    // Archive first, then its signature, each once per check.
    const std::vector<LoopbackServer::Request> requests = server.Requests();
    ASSERT_EQ(requests.size(), 6u);
    EXPECT_EQ(requests[0].path, "/update.zip");
    EXPECT_EQ(requests[1].path, "/update.zip.minisig");
    EXPECT_EQ(requests[1].userAgent, "Tovarind Session");
}

// Every refusal: false, one message, no entry touched, nothing unpacked,
// and the dialog may check again.
TEST_F(SignedCheckTest, EveryRefusalUnpacksNothing) {
    struct Case {
        const char* name;
        const char* archive;
        Reply signature;
        bool receiving; // the receiving-error message rather than the signature one
    };
    Reply missing("<html>Not Found</html>");
    missing.status = 404;
    Reply cut = Sig("good");
    cut.sendLimit = 100;
    const std::string oversized =
        SigningFixture("good.minisig") + std::string(64 * 1024, '\n'); // valid, but too long
    const Case cases[] = {
        {"archive changed by one bit", "update-bit.zip", Sig("good"), false},
        {"signature changed", "update.zip", Sig("signature-bit"), false},
        {"trusted comment edited", "update.zip", Sig("comment-edited"), false},
        {"another key", "update.zip", Sig("other-key"), false},
        {"wrong key id", "update.zip", Sig("key-id"), false},
        {"unknown algorithm", "update.zip", Sig("unknown-algorithm"), false},
        {"truncated", "update.zip", Sig("truncated"), false},
        {"garbage", "update.zip", Sig("garbage"), false},
        {"empty", "update.zip", Reply(""), false},
        {"no signature on the server", "update.zip", missing, true},
        {"signature cut off", "update.zip", cut, true},
        {"signature over 64 KiB", "update.zip", Reply(oversized), true},
    };
    Install("app.exe", "program", kRelease);
    EntryChain entries(app, {{"app.exe", ""}});
    chain = &entries;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_FALSE(Check(c.archive, c.signature));
        EXPECT_EQ(count, 0);
        const std::string expected = c.receiving
                                         ? kReceiveFailed + server.Url("/update.zip.minisig")
                                         : kSignatureRefused + server.Url("/update.zip");
        EXPECT_EQ(MessageTexts(), std::vector<std::string>({expected}));
        if (!app.messages.empty()) {
            EXPECT_EQ(app.messages[0].style, UINT(MB_OK | MB_ICONEXCLAMATION));
        }
        EXPECT_EQ(entries[0].state, NotCompared);
        EXPECT_EQ(entries[0].archiveSize, 0);
        EXPECT_FALSE(FileExists(tempFolder + "app.exe"));
    }
    // The signature at exactly 64 KiB is still read (and judged on its merits).
    const std::string good = SigningFixture("good.minisig");
    EXPECT_TRUE(Check("update.zip", Reply(good + std::string(64 * 1024 - good.size(), '\n'))));
    EXPECT_EQ(count, 1);
}

// Until it is unpacked, the verified archive can be read, as the archive
// library does, but neither written nor deleted (and made anew).
TEST_F(SignedCheckTest, VerifiedArchiveIsHeldAgainstChange) {
    server.ServeBytes("/update.zip.minisig", SigningFixture("good.minisig"));
    UseKeyA();
    WriteFileBytes(archivePath, SigningFixture("update.zip"));
    std::optional<ScopedFile> held;
    ASSERT_TRUE(app.VerifyArchiveSignature(held));
    EXPECT_TRUE(ScopedFile(CreateFileA(archivePath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                       OPEN_EXISTING, 0, nullptr)));
    EXPECT_FALSE(ScopedFile(CreateFileA(archivePath.c_str(), GENERIC_WRITE,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, 0, nullptr)));
    EXPECT_FALSE(DeleteFileA(archivePath.c_str()));
    held.reset();
    EXPECT_EQ(ReadFileBytes(archivePath), SigningFixture("update.zip"));
}

TEST_F(SignedCheckTest, SignatureUrlSettingIsUsed) {
    server.ServeBytes("/update.zip", SigningFixture("update.zip"));
    server.ServeBytes("/sig/u.minisig", SigningFixture("good.minisig"));
    app.WriteSettings("[Archive]\r\nURL=" + server.Url("/update.zip") +
                      "\r\nPublicKey=" + SigningFixture("key-a.txt") +
                      "\r\nSignatureURL=" + server.Url("/sig/u.minisig") + "\r\n");
    ASSERT_TRUE(app.LoadSettings());
    ASSERT_TRUE(app.CheckForUpdates(nullptr, &count));
    EXPECT_TRUE(app.messages.empty());
    EXPECT_EQ(server.RequestCount("/sig/u.minisig"), 1);
    EXPECT_EQ(server.RequestCount("/update.zip.minisig"), 0);
}

} // namespace
