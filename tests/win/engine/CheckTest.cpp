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

    void Serve(const ZipBuilder& zip, const std::string& path = "/update.zip") {
        server.ServeBytes(path, zip.Bytes());
        Configure(server.Url(path));
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
    Serve(ZipBuilder()
              .Add("same.dll", "same", kRelease)
              .Add("bin/newer.dll", "newer", kRelease) // folders in the archive are dropped
              .Add("older.dll", "older", kLastYear)
              .Add("resized.dll", "resized!", kRelease)
              .Add("empty.dll", "", kRelease)
              .Add("lib/deep/fresh.dll", "fresh", kRelease)
              .Add("shared.dat", "shared", kRelease));
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
    // The archive stamps are what the list shows afterwards: none for a file
    // missing from the archive, a time for an empty one.
    const std::string release = "2024/05/06 07:08:10 ";
    EXPECT_EQ(chain.ArchiveStamps(),
              std::vector<std::string>({release + "4", release + "5", "2023/01/02 03:04:06 5",
                                        release + "8", " 0", release + "0", release + "5",
                                        release + "6", release + "6"}));
    EXPECT_TRUE(FileExists(tempFolder + "fresh.dll"));
    EXPECT_FALSE(FolderExists(tempFolder + "lib"));
    EXPECT_EQ(server.LastUserAgent(), "Tovarind Session");
}

TEST_F(CheckTest, EmptyListStillDownloadsAndUnpacks) {
    Serve(ZipBuilder().Add("app.exe", "program", kRelease));
    ASSERT_TRUE(app.CheckForUpdates(nullptr, &count));
    EXPECT_EQ(count, 0);
    EXPECT_TRUE(app.messages.empty());
    EXPECT_EQ(ReadFileBytes(tempFolder + "app.exe"), "program");
    // Without a key no signature is asked for: the same one request as ever.
    EXPECT_EQ(server.RequestCount("/update.zip"), 1);
    EXPECT_EQ(server.RequestCount(), 1);
}

// An installation as the archive has it counts nothing; a second check
// compares against the archive it fetches anew.
TEST_F(CheckTest, AnUpToDateInstallationCountsNothingUntilTheNextArchive) {
    Install("app.exe", "program", kRelease);
    MakeFolder(programFolder + "data");
    Install("data\\table.dat", "table", kLastYear);
    Serve(
        ZipBuilder().Add("app.exe", "program", kRelease).Add("data/table.dat", "table", kLastYear));
    EntryChain chain(app, {{"app.exe", ""}, {"table.dat", "data\\"}});
    count = 7;
    ASSERT_TRUE(app.CheckForUpdates(chain.head, &count));
    EXPECT_EQ(count, 0);
    EXPECT_EQ(chain.States(), std::vector<int>({Unchanged, Unchanged}));
    Serve(ZipBuilder()
              .Add("app.exe", "program 2", kRelease)
              .Add("data/table.dat", "table", kLastYear),
          "/update2.zip");
    ASSERT_TRUE(app.CheckForUpdates(chain.head, &count));
    EXPECT_EQ(count, 1);
    EXPECT_EQ(chain.States(), std::vector<int>({NeedsUpdate, Unchanged}));
    EXPECT_EQ(chain.ArchiveStamps(),
              std::vector<std::string>({"2024/05/06 07:08:10 9", "2023/01/02 03:04:06 5"}));
    EXPECT_TRUE(app.messages.empty());
}

// A failed unpacking has shown its message; the check is then one that
// found nothing, and compared nothing.
TEST_F(CheckTest, AnUnpackingErrorCountsNothingAndTouchesNothing) {
    const struct {
        const char* name;
        std::string archive;
        const char* fake; // the stand-in library loaded, or none
    } cases[] = {
        {"garbage", "<html>this is not an archive</html>", nullptr},
        {"a failing library", ZipBuilder().Add("app.exe", "new", kRelease).Bytes(), "fails"},
    };
    Install("app.exe", "old", kRelease);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        server.ServeBytes("/update.zip", c.archive);
        Configure(server.Url("/update.zip"));
        // A copy from an earlier run that a comparison would find.
        WriteFileBytes(tempFolder + "app.exe", "new");
        EntryChain chain(app, {{"app.exe", ""}});
        std::optional<PreloadedFakeTar> fake;
        if (c.fake != nullptr) {
            fake.emplace(c.fake);
            ASSERT_TRUE(fake->Loaded());
        }
        app.messages.clear();
        count = 3;
        EXPECT_TRUE(app.CheckForUpdates(chain.head, &count));
        EXPECT_EQ(count, 0);
        ExpectMessages(
            app, {kUnpackFailed + TarCommandLine(archivePath, programFolder + "UpdateArchive")});
        EXPECT_EQ(chain.States(), std::vector<int>({NotCompared}));
        EXPECT_EQ(chain.ArchiveStamps(), std::vector<std::string>({" 0"}));
    }
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
    // Settings for the archive at /update.zip, verified with key a, and lines.
    void UseKeyA(const std::string& lines = "") {
        app.WriteSettings("[Archive]\r\nURL=" + server.Url("/update.zip") +
                          "\r\nPublicKey=" + SigningFixture("key-a.txt") + "\r\n" + lines);
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
    std::vector<std::string> paths;
    for (const LoopbackServer::Request& request : server.Requests())
        paths.push_back(request.path + " " + request.userAgent);
    const std::string zip = "/update.zip Tovarind Session",
                      sig = "/update.zip.minisig Tovarind Session";
    EXPECT_EQ(paths, std::vector<std::string>({zip, sig, zip, sig, zip, sig}));
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
        ExpectMessages(app, {expected});
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
    UseKeyA("SignatureURL=" + server.Url("/sig/u.minisig") + "\r\n");
    ASSERT_TRUE(app.CheckForUpdates(nullptr, &count));
    EXPECT_TRUE(app.messages.empty());
    EXPECT_EQ(server.RequestCount("/sig/u.minisig"), 1);
    EXPECT_EQ(server.RequestCount("/update.zip.minisig"), 0);
}

} // namespace
