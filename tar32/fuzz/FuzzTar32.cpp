// libFuzzer target: any bytes as the archive, extracted with and without
// folders into a file system that only remembers what it was asked to do and
// aborts at the first path that leaves the output folder. The first bytes
// also go through the command-line parser, and the bytes' tail through the
// central directory listing, whose files must be the ones the extraction
// without folders writes; of an archive that unpacks, an archive of some of
// its members (tar32/ZipSubset.h) must unpack to just those.
//
// The mutator knows two things about the formats, or the reader's deeper
// paths (pax records, GNU long names, ZIP64 fields) would stay out of reach
// behind checksums: it mends the checksum of every tar header it finds, and
// it mutates a gzip stream's content, not its compressed bytes.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>

#include <vector>

#include <zlib.h>

#include "tar32/CommandLine.h"
#include "tar32/Core.h"
#include "tar32/ZipDirectory.h"
#include "tar32/ZipSubset.h"

extern "C" std::size_t LLVMFuzzerMutate(std::uint8_t* data, std::size_t size, std::size_t maxSize);

namespace {

const char kOut[] = "out/";

[[noreturn]] void Escape(const char* what, const std::string& path) {
    std::fprintf(stderr, "tar32 fuzz: %s: %s\n", what, path.c_str());
    std::abort();
}

bool Lead(unsigned char c) {
    return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}

// An independent look at a path the core wants to write: it must lie below
// out/ and no component may climb, name a drive or stream, or be empty.
void CheckPath(const std::string& path, bool isFolder) {
    if (path == "out" && isFolder) {
        return;
    }
    if (path.compare(0, 4, kOut) != 0) {
        Escape("outside the output folder", path);
    }
    std::string component;
    auto finish = [&]() {
        if (component.empty() || component == "." || component == "..") {
            Escape("bad component", path);
        }
        component.clear();
    };
    for (std::size_t i = 4; i < path.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(path[i]);
        if (Lead(c) && i + 1 < path.size() && static_cast<unsigned char>(path[i + 1]) >= 0x40) {
            component += path.substr(i, 2);
            ++i;
        } else if (c == '/' || c == '\\') {
            finish();
        } else if (c < 0x20 || c == ':') {
            Escape("control character or colon", path);
        } else {
            component += static_cast<char>(c);
        }
    }
    if (!isFolder || !component.empty()) {
        finish();
    }
}

class MemorySource : public tar32::Source {
  public:
    MemorySource(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    std::uint64_t Size() const override { return size_; }
    bool IsSameFile(const std::string& path) const override { return path == "out/archive"; }
    std::size_t ReadAt(std::uint64_t offset, void* out, std::size_t size) override {
        if (offset >= size_) {
            return 0;
        }
        const std::size_t n = std::min<std::uint64_t>(size, size_ - offset);
        std::memcpy(out, data_ + offset, n);
        return n;
    }

  private:
    const std::uint8_t* data_;
    std::size_t size_;
};

class NullFile : public tar32::OutFile {
  public:
    explicit NullFile(std::set<std::string>& files) : files_(files) {}
    bool Write(const void*, std::size_t size) override {
        written_ += size;
        return written_ < (std::uint64_t(1) << 32);
    }
    bool Commit(const std::string& finalPath, const tar32::FileTime&) override {
        CheckPath(finalPath, false);
        files_.insert(finalPath);
        return true;
    }

  private:
    std::set<std::string>& files_;
    std::uint64_t written_ = 0;
};

class CheckingFileSystem : public tar32::FileSystem {
  public:
    CheckingFileSystem(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    char Separator() const override { return '/'; }
    std::unique_ptr<tar32::Source> OpenRead(const std::string& path) override {
        if (path != "archive") {
            return nullptr;
        }
        return std::make_unique<MemorySource>(data_, size_);
    }
    bool MakeFolder(const std::string& path) override {
        CheckPath(path, true);
        return files_.count(path) == 0;
    }
    std::unique_ptr<tar32::OutFile> CreateTemp(const std::string& folder) override {
        CheckPath(folder, true);
        return std::make_unique<NullFile>(files_);
    }
    bool FreeSpace(const std::string& folder, std::uint64_t& bytes) override {
        CheckPath(folder, true);
        bytes = std::uint64_t(1) << 40;
        return true;
    }
    bool Utf8ToShiftJis(const std::string& utf8, std::string& sjis) override {
        for (char c : utf8) {
            if (static_cast<unsigned char>(c) >= 0x80) {
                return false;
            }
        }
        sjis = utf8;
        return true;
    }

    const std::set<std::string>& Files() const { return files_; }

  private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::set<std::string> files_;
};

bool AsciiOnly(const std::string& utf8, std::string& sjis) {
    for (char c : utf8) {
        if (static_cast<unsigned char>(c) >= 0x80) {
            return false;
        }
    }
    sjis = utf8;
    return true;
}

// The files the listing says an extraction without folders leaves; false
// when it refuses the bytes. A tail alone, where it holds the directory,
// must list the same.
bool ListedFiles(const std::uint8_t* data, std::size_t size, std::set<std::string>& files,
                 std::vector<tar32::ZipMember>& members) {
    tar32::ZipTail tail;
    tail.bytes = data;
    tail.size = size;
    tail.archiveSize = size;
    try {
        members = tar32::ListZipDirectory(tail, AsciiOnly);
    } catch (const tar32::Failure&) {
        return false;
    }
    // Inputs stay far below the quick check's 64 KiB: half of them stands in.
    if (size >= 44) {
        tail.size = size / 2;
        tail.bytes = data + size - tail.size;
        try {
            if (tar32::ListZipDirectory(tail, AsciiOnly).size() != members.size()) {
                std::fprintf(stderr, "tar32 fuzz: a tail lists other members\n");
                std::abort();
            }
        } catch (const tar32::Failure&) {
            bool held = false;
            try {
                held = tar32::ReadZipEnd(tail).directoryOffset >= tail.Start();
            } catch (const tar32::Failure&) {
            }
            if (held) {
                std::fprintf(stderr, "tar32 fuzz: a tail holding the directory fails\n");
                std::abort();
            }
        }
    }
    for (const tar32::ZipMember& member : members) {
        if (member.type == tar32::ZipMember::File) {
            files.insert(kOut + member.bareName);
        }
    }
    return true;
}

// An archive of every other file the extraction leaves, put together as the
// quick check puts one together: when the whole archive unpacks, so must it,
// writing exactly those files.
void CheckSubset(const std::uint8_t* data, std::size_t size,
                 const std::vector<tar32::ZipMember>& members) {
    tar32::ZipTail tail;
    tail.bytes = data;
    tail.size = size;
    tail.archiveSize = size;
    std::map<std::string, std::size_t> last;
    for (std::size_t i = 0; i < members.size(); ++i) {
        if (members[i].type == tar32::ZipMember::File) {
            last[members[i].bareName] = i;
        }
    }
    std::vector<std::size_t> chosen;
    std::set<std::string> expected;
    int n = 0;
    for (const auto& [bare, index] : last) {
        if (n++ % 2 == 0) {
            chosen.push_back(index);
            expected.insert(kOut + bare);
        }
    }
    std::string subset;
    try {
        const std::vector<tar32::ZipSpan> spans =
            tar32::MemberSpans(members, tar32::ReadZipEnd(tail));
        for (std::size_t i : tar32::SubsetOrder(members, chosen)) {
            subset.append(reinterpret_cast<const char*>(data) + spans[i].begin, spans[i].Size());
        }
        subset += tar32::SubsetDirectory(tail, members, chosen);
    } catch (const tar32::Failure& failure) {
        std::fprintf(stderr, "tar32 fuzz: no subset of a listed archive: %s\n",
                     failure.message.c_str());
        std::abort();
    }
    CheckingFileSystem fs(reinterpret_cast<const std::uint8_t*>(subset.data()), subset.size());
    char output[256];
    const int code = tar32::Run("--use-directory=0 xvf archive -o out", output, sizeof output, fs);
    if (code != TAR32_OK || fs.Files() != expected) {
        std::fprintf(stderr, "tar32 fuzz: the subset unpacks otherwise (%d): %s\n", code, output);
        std::abort();
    }
}

// Every 512-byte block that says "ustar" gets its checksum right.
void MendTarChecksums(std::uint8_t* data, std::size_t size) {
    for (std::size_t at = 0; at + 512 <= size; at += 512) {
        std::uint8_t* block = data + at;
        if (std::memcmp(block + 257, "ustar", 5) != 0) {
            continue;
        }
        unsigned sum = 0;
        for (std::size_t i = 0; i < 512; ++i) {
            sum += i >= 148 && i < 156 ? ' ' : block[i];
        }
        char field[9];
        std::snprintf(field, sizeof field, "%06o", sum & 0777777);
        std::memcpy(block + 148, field, 7);
        block[155] = ' ';
    }
}

std::vector<std::uint8_t> Gunzip(const std::uint8_t* data, std::size_t size, std::size_t max) {
    std::vector<std::uint8_t> out(max);
    z_stream zs{};
    if (inflateInit2(&zs, 16 + MAX_WBITS) != Z_OK) {
        return {};
    }
    zs.next_in = const_cast<Bytef*>(data);
    zs.avail_in = static_cast<uInt>(size);
    zs.next_out = out.data();
    zs.avail_out = static_cast<uInt>(out.size());
    inflate(&zs, Z_FINISH);
    out.resize(out.size() - zs.avail_out);
    inflateEnd(&zs);
    return out;
}

std::vector<std::uint8_t> Gzip(const std::uint8_t* data, std::size_t size) {
    z_stream zs{};
    if (deflateInit2(&zs, 6, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
        return {};
    }
    std::vector<std::uint8_t> out(deflateBound(&zs, static_cast<uLong>(size)));
    zs.next_in = const_cast<Bytef*>(data);
    zs.avail_in = static_cast<uInt>(size);
    zs.next_out = out.data();
    zs.avail_out = static_cast<uInt>(out.size());
    deflate(&zs, Z_FINISH);
    out.resize(out.size() - zs.avail_out);
    deflateEnd(&zs);
    return out;
}

} // namespace

extern "C" std::size_t LLVMFuzzerCustomMutator(std::uint8_t* data, std::size_t size,
                                               std::size_t maxSize, unsigned seed) {
    // Now and then the bytes as they are: damage must be met too.
    const bool raw = seed % 8 == 0;
    if (!raw && size >= 2 && data[0] == 0x1F && data[1] == 0x8B) {
        const std::size_t room = 64 * 1024;
        std::vector<std::uint8_t> plain = Gunzip(data, size, room);
        if (!plain.empty()) {
            const std::size_t used = plain.size();
            plain.resize(room);
            plain.resize(LLVMFuzzerMutate(plain.data(), used, room));
            MendTarChecksums(plain.data(), plain.size());
            const std::vector<std::uint8_t> packed = Gzip(plain.data(), plain.size());
            if (!packed.empty() && packed.size() <= maxSize) {
                std::memcpy(data, packed.data(), packed.size());
                return packed.size();
            }
        }
    }
    size = LLVMFuzzerMutate(data, size, maxSize);
    if (!raw) {
        MendTarChecksums(data, size);
    }
    return size;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string line(reinterpret_cast<const char*>(data), std::min<std::size_t>(size, 256));
    try {
        tar32::ParseCommandLine(line.c_str());
    } catch (const tar32::Failure&) {
    }
    std::set<std::string> listed;
    std::vector<tar32::ZipMember> members;
    const bool lists = ListedFiles(data, size, listed, members);
    char output[256];
    for (const char* command : {"--use-directory=0 xvf archive -o out",
                                "--use-directory=1 xvf archive -o out", "tvf archive"}) {
        CheckingFileSystem fs(data, size);
        const int code = tar32::Run(command, output, sizeof output, fs);
        if (std::strstr(command, "use-directory=0") && code == TAR32_OK && lists &&
            fs.Files() != listed) {
            std::fprintf(stderr, "tar32 fuzz: the listing names other files than were written\n");
            std::abort();
        }
        if (std::strstr(command, "use-directory=0") && code == TAR32_OK && lists) {
            CheckSubset(data, size, members);
        }
        if (code < 0 || code > TAR32_ERROR_UNSUPPORTED) {
            std::fprintf(stderr, "tar32 fuzz: unexpected code %d: %s\n", code, output);
            std::abort();
        }
        if (std::strlen(output) >= sizeof output) {
            std::abort();
        }
    }
    return 0;
}
