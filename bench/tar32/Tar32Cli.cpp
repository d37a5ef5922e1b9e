// Runs the tar32 core on this machine: tar32_cli "COMMAND LINE". The exit
// status is the library's return code; the listing goes to standard output.
#include <cstdio>

#include "tar32/Core.h"
#include "tar32/PosixFileSystem.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: tar32_cli \"--use-directory=1 xf archive -o folder\"\n");
        return 2;
    }
    static char listing[64 * 1024];
    tar32::PosixFileSystem fs;
    const int code = tar32::Run(argv[1], listing, sizeof listing, fs);
    std::fputs(listing, code == 0 ? stdout : stderr);
    return code;
}
