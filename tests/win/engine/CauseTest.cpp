// What a supporter reads in a debug viewer when something fails: the cause
// line names the code and the URL or file involved.
#include <functional>

#include "engine/Launch.h"
#include "tests/support/LoopbackServer.h"
#include "tests/win/engine/EngineFixture.h"

namespace {

struct CauseTest : EngineTest {
    LoopbackServer server;
    std::vector<std::string>& lines = causes.lines;

    void SetUp() override { Configure("http://127.0.0.1:1/update.zip"); }
};

TEST_F(CauseTest, EachFailureWritesOneLineWithItsCause) {
    server.ServeStatus("/missing.zip", 404, "<html>Not Found</html>");
    const std::string missing = server.Url("/missing.zip");
    const std::string noFolder = scratch / "no such folder\\Archive.zip";
    const std::string noProgram = programFolder + "absent.exe";
    struct Case {
        const char* name;
        std::function<void()> fail;
        std::vector<std::string> parts; // each in the one cause line
    } cases[] = {
        {"HTTP error status",
         [&] { Download(missing, archivePath); },
         {"Tovarind: ", "HTTP status 404", missing}},
        {"archive file not created",
         [&] { Download(missing, noFolder); },
         {"cannot create", noFolder, "error 3"}},
        {"program not started",
         [&] { RunProgram("\"" + noProgram + "\"", SW_SHOWNORMAL); },
         {"cannot start", noProgram, "error 2"}},
        {"archive not unpacked",
         [&] {
             WriteFileBytes(archivePath, "PK\x03\x04 not a whole archive");
             app.ExtractArchive();
         },
         {"tar32 returned ", archivePath, "; error: "}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        lines.clear();
        c.fail();
        ASSERT_EQ(lines.size(), 1u);
        for (const std::string& part : c.parts)
            EXPECT_NE(lines[0].find(part), std::string::npos) << lines[0] << "\n  lacks " << part;
    }
}

TEST(Win32ErrorText, SystemTextEndsWithoutLineEndBlankOrDot) {
    // A system text ends in a full stop and line ends (Wine's in "\r\r\n"),
    // which have no place inside a cause line.
    for (DWORD code : {ERROR_FILE_NOT_FOUND, ERROR_SHARING_VIOLATION}) {
        const std::string text = Win32ErrorText(code);
        EXPECT_EQ(text.rfind("error " + std::to_string(code) + ": ", 0), 0u) << text;
        EXPECT_EQ(std::string("\r\n .").find(text.back()), std::string::npos) << text;
    }
}

} // namespace
