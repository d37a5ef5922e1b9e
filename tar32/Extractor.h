#pragma once
// What the archive readers share: sequential reading of a stretch of the
// archive, the listing text and the writing of members into the output
// folder (Extractor.cpp), and the readers' entry points (Zip.cpp and
// TarReader.cpp).
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "tar32/CommandLine.h"
#include "tar32/Core.h"

namespace tar32 {

// Size of every fixed buffer: reading, inflating, writing. (The fuzz target
// makes it small, so that data crosses buffer boundaries often.)
#ifndef TAR32_BUFFER_SIZE
#define TAR32_BUFFER_SIZE (256 * 1024)
#endif
constexpr std::size_t kBufferSize = TAR32_BUFFER_SIZE;
// Deflate never makes more than 1032 bytes of one (258 bytes from two bits).
constexpr std::uint64_t kMaxDeflateRatio = 1032;

std::uint32_t ReadLE16(const unsigned char* p);
std::uint32_t ReadLE32(const unsigned char* p);
std::uint64_t ReadLE64(const unsigned char* p);
// a + b, or the largest value when that does not fit.
std::uint64_t SaturatingAdd(std::uint64_t a, std::uint64_t b);

// Reads the bytes [begin, end) of the source in order through one buffer.
class RegionReader {
  public:
    // buffer is the caller's, reused from one region to the next.
    RegionReader(Source& source, std::uint64_t begin, std::uint64_t end,
                 std::vector<unsigned char>& buffer);
    // Up to size bytes; fewer only at the end of the region (or of the file).
    std::size_t Read(void* data, std::size_t size);
    // Exactly size bytes, else Fail(TAR32_ERROR_CORRUPT, what).
    void ReadExact(void* data, std::size_t size, const char* what);
    // Points at the buffered bytes directly: up to max bytes, at least one
    // unless the region is exhausted.
    std::size_t Peek(const unsigned char*& data, std::size_t max);
    // Steps over size bytes, else Fail(TAR32_ERROR_CORRUPT, what).
    void Skip(std::uint64_t size, const char* what);
    std::uint64_t Position() const { return position_; }
    std::uint64_t Remaining() const { return end_ - position_; }

  private:
    bool Fill();
    Source& source_;
    std::uint64_t position_;
    std::uint64_t end_;
    std::vector<unsigned char>& buffer_;
    std::size_t bufferPos_ = 0;
    std::size_t bufferLen_ = 0;
};

// The text handed back to the caller: always zero-terminated within its
// capacity, silently cut when full.
class Listing {
  public:
    Listing(char* buffer, std::size_t capacity);
    void AddLine(const std::string& line);

  private:
    char* buffer_;
    std::size_t capacity_;
    std::size_t length_ = 0;
};

struct MemberInfo {
    enum Type { File, Folder, Link, Special } type = File;
    std::string name; // Shift-JIS
    std::uint64_t size = 0;
    FileTime time;
};

// One member being written: Write as the data comes, Finish once it has been
// checked. Destroyed without Finish, it leaves nothing behind.
class MemberWriter {
  public:
    MemberWriter(std::unique_ptr<OutFile> file, std::string finalPath, FileTime time,
                 std::uint64_t declaredSize);
    void Write(const void* data, std::size_t size);
    void Finish();

  private:
    std::unique_ptr<OutFile> file_;
    std::string finalPath_;
    FileTime time_;
    std::uint64_t declaredSize_;
    std::uint64_t written_ = 0;
};

// What a reader asks before it takes a member: its name in Shift-JIS, and
// whether it may be written. The extraction answers, and so does a listing
// that predicts one (ZipDirectory.h), so that both take the same members.
class MemberRules {
  public:
    virtual ~MemberRules() = default;
    // Converts a UTF-8 member name, or fails as unsafe.
    virtual std::string FromUtf8(const std::string& utf8) = 0;
    // Throws Failure(TAR32_ERROR_UNSAFE_NAME) when the member may not be
    // written; links and special files always pass (they are never written).
    virtual void Check(const MemberInfo& member) const = 0;
};

class Extractor : public MemberRules {
  public:
    // archive is the file being read: no member may be written over it.
    Extractor(FileSystem& fs, const Options& options, Listing& listing, const Source& archive);
    FileSystem& Fs() { return fs_; }
    bool UseDirectory() const { return options_.useDirectory; }
    bool Extracting() const { return options_.extract; }
    void Check(const MemberInfo& member) const override;
    // For an archive whose members have all passed Check before the first
    // is started: throws Failure(TAR32_ERROR_WRITE) unless the output volume
    // can take bytes (all its files) and still keep kFreeSpaceMargin free.
    // Start then spares each member those checks in the output folder.
    void CheckedWhole(std::uint64_t bytes);
    // Lists the member and, when extracting a file, returns its writer; null
    // when there is nothing to write (folders are created here).
    std::unique_ptr<MemberWriter> Start(const MemberInfo& member);
    std::string FromUtf8(const std::string& utf8) override;

  private:
    std::string Base() const;
    std::string FolderFor(const std::vector<std::string>& components, std::size_t count);
    void RequireSpaceIn(const std::string& folder, std::uint64_t bytes, const std::string& what);
    FileSystem& fs_;
    const Options& options_;
    Listing& listing_;
    const Source& archive_;
    std::string base_; // output folder with the separator
    bool baseReady_ = false;
    bool checkedWhole_ = false;
    std::string lastFolder_;
};

// A 512-byte tar header whose checksum is right.
bool TarChecksumValid(const unsigned char* block);

void ExtractZip(Source& source, Extractor& extractor);
// gzip: the source is a gzip stream holding the tar archive.
void ExtractTar(Source& source, Extractor& extractor, bool gzip);

} // namespace tar32
