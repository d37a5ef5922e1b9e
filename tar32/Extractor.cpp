#include "tar32/Extractor.h"

#include <algorithm>
#include <cstring>

#include "tar32/Names.h"
#include "text/ShiftJis.h"

namespace tar32 {

std::uint32_t ReadLE16(const unsigned char* p) {
    return p[0] | (p[1] << 8);
}
std::uint32_t ReadLE32(const unsigned char* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
std::uint64_t ReadLE64(const unsigned char* p) {
    return ReadLE32(p) | (static_cast<std::uint64_t>(ReadLE32(p + 4)) << 32);
}

std::uint64_t SaturatingAdd(std::uint64_t a, std::uint64_t b) {
    return b > ~a ? ~std::uint64_t(0) : a + b;
}

RegionReader::RegionReader(Source& source, std::uint64_t begin, std::uint64_t end,
                           std::vector<unsigned char>& buffer)
    : source_(source), position_(begin), end_(std::max(begin, end)), buffer_(buffer) {}

bool RegionReader::Fill() {
    bufferPos_ = 0;
    bufferLen_ = 0;
    if (position_ >= end_) {
        return false;
    }
    const std::size_t want =
        static_cast<std::size_t>(std::min<std::uint64_t>(buffer_.size(), end_ - position_));
    bufferLen_ = source_.ReadAt(position_, buffer_.data(), want);
    return bufferLen_ > 0;
}

std::size_t RegionReader::Peek(const unsigned char*& data, std::size_t max) {
    if (bufferPos_ == bufferLen_ && !Fill()) {
        return 0;
    }
    data = buffer_.data() + bufferPos_;
    return std::min(max, bufferLen_ - bufferPos_);
}

void RegionReader::Skip(std::uint64_t size, const char* what) {
    if (size > Remaining()) {
        Fail(TAR32_ERROR_CORRUPT, what);
    }
    if (size <= bufferLen_ - bufferPos_) {
        bufferPos_ += static_cast<std::size_t>(size);
    } else {
        bufferPos_ = bufferLen_ = 0;
    }
    position_ += size;
}

std::size_t RegionReader::Read(void* data, std::size_t size) {
    unsigned char* out = static_cast<unsigned char*>(data);
    std::size_t done = 0;
    while (done < size) {
        const unsigned char* chunk;
        const std::size_t n = Peek(chunk, size - done);
        if (n == 0) {
            break;
        }
        std::memcpy(out + done, chunk, n);
        bufferPos_ += n;
        position_ += n;
        done += n;
    }
    return done;
}

void RegionReader::ReadExact(void* data, std::size_t size, const char* what) {
    if (Read(data, size) != size) {
        Fail(TAR32_ERROR_CORRUPT, what);
    }
}

Listing::Listing(char* buffer, std::size_t capacity)
    : buffer_(buffer), capacity_(buffer ? capacity : 0) {
    if (capacity_ > 0) {
        buffer_[0] = '\0';
    }
}

void Listing::AddLine(const std::string& line) {
    if (capacity_ == 0) {
        return;
    }
    const std::string text = line + "\r\n";
    const std::size_t room = capacity_ - 1 - length_;
    const std::size_t n = std::min(room, text.size());
    std::memcpy(buffer_ + length_, text.data(), n);
    length_ += n;
    buffer_[length_] = '\0';
}

MemberWriter::MemberWriter(std::unique_ptr<OutFile> file, std::string finalPath, FileTime time,
                           std::uint64_t declaredSize)
    : file_(std::move(file)), finalPath_(std::move(finalPath)), time_(time),
      declaredSize_(declaredSize) {}

void MemberWriter::Write(const void* data, std::size_t size) {
    if (size > declaredSize_ - written_) {
        Fail(TAR32_ERROR_CORRUPT, "more data than declared: " + finalPath_);
    }
    if (size > 0 && !file_->Write(data, size)) {
        Fail(TAR32_ERROR_WRITE, "cannot write: " + finalPath_);
    }
    written_ += size;
}

void MemberWriter::Finish() {
    if (written_ != declaredSize_) {
        Fail(TAR32_ERROR_CORRUPT, "less data than declared: " + finalPath_);
    }
    if (!file_->Commit(finalPath_, time_)) {
        Fail(TAR32_ERROR_WRITE, "cannot write: " + finalPath_);
    }
}

Extractor::Extractor(FileSystem& fs, const Options& options, Listing& listing,
                     const Source& archive)
    : fs_(fs), options_(options), listing_(listing), archive_(archive) {}

void Extractor::Check(const MemberInfo& member) const {
    if (member.type == MemberInfo::Folder && options_.useDirectory) {
        SafeOutputPath(member.name, true);
    }
    if (member.type != MemberInfo::File) {
        return;
    }
    const std::vector<std::string> path = SafeOutputPath(member.name, options_.useDirectory);
    if (!options_.extract || path.empty()) {
        return;
    }
    // By identity, not by name: a hard link, a link or another spelling of
    // the archive's name is the same file.
    std::string target = Base();
    for (const std::string& component : path) {
        target += component + fs_.Separator();
    }
    target.pop_back();
    if (archive_.IsSameFile(target)) {
        Fail(TAR32_ERROR_UNSAFE_NAME, "the member is the archive being read: " + member.name);
    }
}

void Extractor::CheckedWhole(std::uint64_t bytes) {
    RequireSpaceIn(FolderFor({}, 0), bytes, "the archive");
    checkedWhole_ = true;
}

void Extractor::RequireSpaceIn(const std::string& folder, std::uint64_t bytes,
                               const std::string& what) {
    std::uint64_t free = 0;
    if (!fs_.FreeSpace(folder, free)) {
        return;
    }
    if (SaturatingAdd(bytes, kFreeSpaceMargin) > free) {
        Fail(TAR32_ERROR_WRITE, "not enough space for " + what + " in " + folder + " (" +
                                    std::to_string(free) + " bytes free)");
    }
}

std::string Extractor::FromUtf8(const std::string& utf8) {
    std::string sjis;
    if (!fs_.Utf8ToShiftJis(utf8, sjis)) {
        Fail(TAR32_ERROR_UNSAFE_NAME, "name not representable in Shift-JIS: " + utf8);
    }
    return sjis;
}

std::string Extractor::Base() const {
    std::string base = options_.outputFolder.empty() ? std::string(".") : options_.outputFolder;
    if (!sjis::EndsWithChar(base, fs_.Separator()) && !sjis::EndsWithChar(base, '/')) {
        base += fs_.Separator();
    }
    return base;
}

std::string Extractor::FolderFor(const std::vector<std::string>& components, std::size_t count) {
    const char sep = fs_.Separator();
    if (!baseReady_) {
        const std::string folder =
            options_.outputFolder.empty() ? std::string(".") : options_.outputFolder;
        if (!fs_.MakeFolder(folder)) {
            Fail(TAR32_ERROR_WRITE, "cannot create the output folder: " + folder);
        }
        base_ = Base();
        baseReady_ = true;
        lastFolder_ = base_;
    }
    std::string folder = base_;
    for (std::size_t i = 0; i < count; ++i) {
        folder += components[i] + sep;
    }
    if (folder != lastFolder_) {
        std::string partial = base_;
        for (std::size_t i = 0; i < count; ++i) {
            partial += components[i];
            if (!fs_.MakeFolder(partial)) {
                Fail(TAR32_ERROR_WRITE, "cannot create the folder: " + partial);
            }
            partial += sep;
        }
        lastFolder_ = folder;
    }
    return folder;
}

std::unique_ptr<MemberWriter> Extractor::Start(const MemberInfo& member) {
    if (!checkedWhole_) {
        Check(member);
    }
    if (!options_.extract) {
        if (options_.verbose) {
            listing_.AddLine(std::to_string(member.size) + " " + member.name);
        } else {
            listing_.AddLine(member.name);
        }
        return nullptr;
    }
    if (options_.verbose) {
        const char* note = "";
        if (member.type == MemberInfo::Link || member.type == MemberInfo::Special) {
            note = " (skipped: not a regular file)";
        }
        listing_.AddLine(member.name + note);
    }
    if (member.type == MemberInfo::Folder) {
        if (options_.useDirectory) {
            const std::vector<std::string> path = SafeOutputPath(member.name, true);
            FolderFor(path, path.size());
        }
        return nullptr;
    }
    if (member.type != MemberInfo::File) {
        return nullptr;
    }
    const std::vector<std::string> path = SafeOutputPath(member.name, options_.useDirectory);
    if (path.empty()) {
        Fail(TAR32_ERROR_UNSAFE_NAME, "empty name: " + member.name);
    }
    const std::string folder = FolderFor(path, path.size() - 1);
    // A folder below the output folder may be another volume.
    if (!checkedWhole_ || folder != base_) {
        RequireSpaceIn(folder, SaturatingAdd(member.size, kSpacePerMember), member.name);
    }
    std::unique_ptr<OutFile> file = fs_.CreateTemp(folder);
    if (!file) {
        Fail(TAR32_ERROR_WRITE, "cannot create a file in: " + folder);
    }
    return std::make_unique<MemberWriter>(std::move(file), folder + path.back(), member.time,
                                          member.size);
}

} // namespace tar32
