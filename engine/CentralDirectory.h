#pragma once
// The quick check's requests: the archive's tail by range, and the rest of
// its central directory when it starts before the tail, read with the
// archive library's own listing. No windows.h: the transfer comes in
// through RangeFetcher, so that the decisions are tested natively.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "tar32/ZipDirectory.h"

// The tail asked for first, and the largest central directory taken.
constexpr std::uint64_t kTailRequest = 64 * 1024;
constexpr std::uint64_t kMaxCentralDirectory = 16 * 1024 * 1024;

// How one ranged GET ended.
struct RangeReply {
    enum class Kind {
        Partial,      // 206: body holds at most the bytes asked for
        Whole,        // 200: the fetcher stored the body as the downloaded archive
        Refused,      // any other status, or a 206 with more than was asked
        NoConnection, // the server could not be reached
        Failed,       // the transfer broke
        Left,         // the user left while it ran
    };
    Kind kind = Kind::Refused;
    std::string contentRange;
    std::string etag;
    std::string lastModified;
    std::string body;
};

// One GET with "Range: range" (and "If-Range: ifRange" unless empty).
struct RangeRequest {
    std::string range;
    std::string ifRange;
    std::uint64_t maxBody = 0; // a 206 body longer than this is Refused
    // Where a 206 body goes as it comes; empty: into RangeReply::body. It
    // returns false to stop the transfer (Failed).
    std::function<bool(const char* data, std::size_t size)> sink;
};

class RangeFetcher {
  public:
    virtual ~RangeFetcher() = default;
    virtual RangeReply Fetch(const RangeRequest& request) = 0;
};

// How one step of the quick check's fetching (the directory, the members)
// ended.
enum class FetchEnd {
    Done,         // the step has what it fetched for
    StoredWhole,  // a 200 answered: the fetcher stored the whole archive, go on as today
    FullDownload, // the ranges did not serve: download the archive as today
    NoConnection, // show the receiving error, nothing else
    Failed,       // likewise
    Left,         // the user left: end quietly
};

// The end that a reply other than a usable 206 gives its step: a refusal
// asks for the full download.
FetchEnd EndOf(RangeReply::Kind kind);

struct DirectoryFetch {
    FetchEnd outcome = FetchEnd::FullDownload; // Done: members holds the central directory
    std::vector<tar32::ZipMember> members;
    std::string held; // the archive's last bytes, the whole central directory among them
    std::uint64_t archiveSize = 0;
    std::string validator; // ETag or Last-Modified of the first answer
    std::string why;       // why the full download, for the diagnostics

    tar32::ZipTail Tail() const;
};

DirectoryFetch FetchCentralDirectory(RangeFetcher& fetcher, const tar32::Utf8Converter& toShiftJis);

// The value for If-Range: a strong ETag, else Last-Modified, else none.
std::string RangeValidator(const RangeReply& reply);
