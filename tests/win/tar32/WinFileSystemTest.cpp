// The Windows file system of the archive library on its own, with the
// random source of its temporary names in the test's hands.
#include <gtest/gtest.h>

#include <cstring>

#include "tar32/WinFileSystem.h"
#include "tests/support/Scratch.h"

namespace {

TEST(Tar32WinFileSystem, TemporaryFileNeverTakesOverAFileAtItsName) {
    ScratchFolder folder;
    const std::string first = folder / "t32000000000000.tmp";
    WriteFileBytes(first, "planted");
    int draws = 0;
    tar32::WinFileSystem fs([&draws](unsigned char* bytes, std::size_t size) {
        std::memset(bytes, draws++ == 0 ? 0x00 : 0x11, size);
        return true;
    });
    std::unique_ptr<tar32::OutFile> temporary = fs.CreateTemp(folder.Path());
    ASSERT_TRUE(temporary);
    EXPECT_EQ(draws, 2);
    EXPECT_TRUE(FileExists(folder / "t32111111111111.tmp"));
    ASSERT_TRUE(temporary->Write("member", 6));
    ASSERT_TRUE(temporary->Commit(folder / "member.txt", tar32::FileTime()));
    EXPECT_EQ(ReadFileBytes(folder / "member.txt"), "member");
    EXPECT_EQ(ReadFileBytes(first), "planted");
}

} // namespace
