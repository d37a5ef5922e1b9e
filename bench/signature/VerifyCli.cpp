// Checks one file against a minisign signature the way the program does:
// the file read in 64 KiB blocks and fed to the verifier.
//   verify_cli PUBLIC-KEY SIGNATURE-FILE FILE     exit 0 when verified
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "engine/Minisign.h"

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: verify_cli PUBLIC-KEY SIGNATURE-FILE FILE\n");
        return 2;
    }
    const auto key = minisign::ParsePublicKey(argv[1]);
    std::ifstream in(argv[2], std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    minisign::Signature signature;
    if (!key || minisign::ParseSignature(text, signature) != minisign::Verdict::Good) {
        std::fprintf(stderr, "verify_cli: unusable key or signature\n");
        return 1;
    }
    std::FILE* file = std::fopen(argv[3], "rb");
    if (file == nullptr) {
        std::perror(argv[3]);
        return 1;
    }
    minisign::Verifier verifier(*key, signature);
    std::vector<char> buffer(64 * 1024);
    std::size_t got = 0;
    while ((got = std::fread(buffer.data(), 1, buffer.size(), file)) > 0)
        verifier.Feed(buffer.data(), got);
    std::fclose(file);
    const bool good = verifier.Finish() == minisign::Verdict::Good;
    std::puts(good ? "verified" : "refused");
    return good ? 0 : 1;
}
