#include "tar32/PosixFileSystem.h"

#include <cerrno>
#include <fcntl.h>
#include <iconv.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <vector>

namespace tar32 {
namespace {

class FileSource : public Source {
  public:
    FileSource(int fd, const struct stat& identity)
        : fd_(fd), size_(static_cast<std::uint64_t>(identity.st_size)), identity_(identity) {}
    ~FileSource() override { close(fd_); }
    std::uint64_t Size() const override { return size_; }
    bool IsSameFile(const std::string& path) const override {
        struct stat other {};
        return stat(path.c_str(), &other) == 0 && other.st_dev == identity_.st_dev &&
               other.st_ino == identity_.st_ino;
    }
    std::size_t ReadAt(std::uint64_t offset, void* data, std::size_t size) override {
        std::size_t done = 0;
        while (done < size) {
            const ssize_t n = pread(fd_, static_cast<char*>(data) + done, size - done,
                                    static_cast<off_t>(offset + done));
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n < 0) {
                Fail(TAR32_ERROR_OPEN, "cannot read the archive");
            }
            if (n == 0) {
                break;
            }
            done += static_cast<std::size_t>(n);
        }
        return done;
    }

  private:
    int fd_;
    std::uint64_t size_;
    struct stat identity_;
};

class TempFile : public OutFile {
  public:
    TempFile(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
    ~TempFile() override {
        if (fd_ >= 0) {
            close(fd_);
            unlink(path_.c_str());
        }
    }
    bool Write(const void* data, std::size_t size) override {
        const char* p = static_cast<const char*>(data);
        while (size > 0) {
            const ssize_t n = write(fd_, p, size);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                return false;
            }
            p += n;
            size -= static_cast<std::size_t>(n);
        }
        return true;
    }
    bool Commit(const std::string& finalPath, const FileTime& time) override {
        bool ok = true;
        if (time.kind != FileTime::None) {
            std::int64_t seconds = (time.ticks - kUnixEpochTicks) / kTicksPerSecond;
            std::int64_t rest = (time.ticks - kUnixEpochTicks) % kTicksPerSecond;
            if (rest < 0) {
                rest += kTicksPerSecond;
                --seconds;
            }
            if (time.kind == FileTime::Local) {
                // Wall time of the stored date, as the local time-zone rules had it then.
                const std::int64_t days =
                    seconds >= 0 ? seconds / 86400 : (seconds - 86399) / 86400;
                std::int64_t secondOfDay = seconds - days * 86400;
                const time_t day = static_cast<time_t>(days * 86400);
                struct tm tm {};
                gmtime_r(&day, &tm);
                tm.tm_hour = static_cast<int>(secondOfDay / 3600);
                tm.tm_min = static_cast<int>(secondOfDay / 60 % 60);
                tm.tm_sec = static_cast<int>(secondOfDay % 60);
                tm.tm_isdst = -1;
                seconds = mktime(&tm);
            }
            struct timespec times[2];
            times[0].tv_sec = static_cast<time_t>(seconds);
            times[0].tv_nsec = static_cast<long>(rest * 100);
            times[1] = times[0];
            ok = futimens(fd_, times) == 0;
        }
        ok = close(fd_) == 0 && ok;
        fd_ = -1;
        if (!ok || rename(path_.c_str(), finalPath.c_str()) != 0) {
            unlink(path_.c_str());
            return false;
        }
        return true;
    }

  private:
    int fd_;
    std::string path_;
};

} // namespace

std::unique_ptr<Source> PosixFileSystem::OpenRead(const std::string& path) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return nullptr;
    }
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        return nullptr;
    }
    return std::make_unique<FileSource>(fd, st);
}

bool PosixFileSystem::MakeFolder(const std::string& path) {
    if (mkdir(path.c_str(), 0777) == 0) {
        return true;
    }
    struct stat st {};
    return errno == EEXIST && stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::unique_ptr<OutFile> PosixFileSystem::CreateTemp(const std::string& folder) {
    std::string path = folder + ".tar32-XXXXXX";
    const int fd = mkostemp(&path[0], O_CLOEXEC);
    if (fd < 0) {
        return nullptr;
    }
    return std::make_unique<TempFile>(fd, path);
}

bool PosixFileSystem::FreeSpace(const std::string& folder, std::uint64_t& bytes) {
    struct statvfs volume {};
    if (statvfs(folder.c_str(), &volume) != 0) {
        return false;
    }
    const std::uint64_t blocks = volume.f_bavail;
    const std::uint64_t blockSize = volume.f_frsize;
    bytes = blockSize != 0 && blocks > ~std::uint64_t(0) / blockSize ? ~std::uint64_t(0)
                                                                     : blocks * blockSize;
    return true;
}

bool PosixFileSystem::Utf8ToShiftJis(const std::string& utf8, std::string& sjis) {
    iconv_t cd = iconv_open("CP932", "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        return false;
    }
    std::vector<char> out(utf8.size() * 2 + 4);
    char* in = const_cast<char*>(utf8.data());
    std::size_t inLeft = utf8.size();
    char* outPtr = out.data();
    std::size_t outLeft = out.size();
    const std::size_t r = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
    iconv_close(cd);
    if (r != 0 || inLeft != 0) {
        return false;
    }
    sjis.assign(out.data(), outPtr);
    return true;
}

} // namespace tar32
