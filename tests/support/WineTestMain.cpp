// main() of every Windows test binary. The program's texts are Shift-JIS, so
// the tests mean nothing unless Windows (Wine) runs with ANSI code page 932.
#include <windows.h>

#include <cstdio>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    if (GetACP() != 932) {
        std::fprintf(stderr,
                     "FATAL: the ANSI code page is %u, not 932. Run the tests through "
                     "tools/wine-run with the ja_JP.UTF-8 locale generated (tools/setup).\n",
                     GetACP());
        return 3;
    }
    // Keep Windows from showing error dialogs for a crash or a missing disk.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
