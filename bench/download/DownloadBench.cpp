// Serves one large file from the loopback server, fetches it once with the
// program's own download code, then keeps serving it for a second client
// (curl, started by ./run) until that client asks for /done.
//
//   download_bench.exe [megabytes (100)] [rounds (3)]
//
// Prints "tovarind <seconds> <bytes>" for each round, then "ready <port>"
// and waits.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

#include "app/UpdaterApp.h"
#include "engine/Download.h"
#include "tests/support/LoopbackServer.h"
#include "tests/support/Scratch.h"
#include "win/ScopedHandle.h"

namespace {

// Messages go to the console instead of a box nobody could close.
class BenchApp : public UpdaterApp {
  public:
    int DoMessageBox(const char* prompt, UINT, UINT) override {
        std::fprintf(stderr, "message: %s\n", prompt);
        return IDOK;
    }
};

void MakeFile(const std::string& path, unsigned long long size) {
    const ScopedFile file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
    std::string block(1 << 20, '\0');
    unsigned long seed = 1;
    for (char& c : block) {
        seed = seed * 1103515245UL + 12345UL;
        c = static_cast<char>(seed >> 16);
    }
    for (unsigned long long done = 0; done < size; done += block.size()) {
        DWORD written = 0;
        WriteFile(file.get(), block.data(),
                  static_cast<DWORD>(std::min<unsigned long long>(block.size(), size - done)),
                  &written, nullptr);
    }
}

double Seconds(LARGE_INTEGER from, LARGE_INTEGER to) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(to.QuadPart - from.QuadPart) /
           static_cast<double>(frequency.QuadPart);
}

} // namespace

int main(int argc, char** argv) {
    const unsigned long long megabytes = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 100;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 3;
    BenchApp app;
    ScratchFolder scratch;
    const std::string source = scratch / "big.bin";
    const std::string archive = scratch / "Archive.zip";
    MakeFile(source, megabytes << 20);

    LoopbackServer server(15 * 60 * 1000);
    server.ServeFile("/big.bin", source);
    server.ServeBytes("/done", "");

    for (int round = 0; round < rounds; ++round) {
        LARGE_INTEGER start, end;
        QueryPerformanceCounter(&start);
        DownloadOutcome outcome;
        {
            std::optional<CWaitCursor> waitCursor;
            outcome = DownloadArchive(server.Url("/big.bin"), archive, waitCursor);
        }
        QueryPerformanceCounter(&end);
        const std::string got = ReadFileBytes(archive);
        if (outcome != DownloadOutcome::Complete || got.size() != (megabytes << 20)) {
            std::fprintf(stderr, "the download failed\n");
            return 1;
        }
        std::printf("tovarind %.6f %llu\n", Seconds(start, end),
                    static_cast<unsigned long long>(got.size()));
        std::fflush(stdout);
    }
    std::printf("ready %u\n", server.Port());
    std::fflush(stdout);

    // Ten minutes at most, should the script never come back.
    for (int i = 0; i < 12000 && server.RequestCount("/done") == 0; ++i)
        Sleep(50);
    return 0;
}
