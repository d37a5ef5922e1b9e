#include "engine/CentralDirectory.h"

#include <algorithm>

#include "engine/ContentRange.h"

namespace {

using Kind = RangeReply::Kind;

DirectoryFetch Full(const std::string& why) {
    DirectoryFetch fetch;
    fetch.outcome = FetchEnd::FullDownload;
    fetch.why = why;
    return fetch;
}

// A reply that is no 206 decides the check alone.
DirectoryFetch Settle(const RangeReply& reply) {
    if (EndOf(reply.kind) == FetchEnd::FullDownload)
        return Full("the server does not answer the range");
    DirectoryFetch fetch;
    fetch.outcome = EndOf(reply.kind);
    return fetch;
}

// The 206 carries exactly the bytes [first, last] of an archive of total bytes.
bool Carries(const RangeReply& reply, std::uint64_t first, std::uint64_t last,
             std::uint64_t total) {
    ContentRange range;
    return ParseContentRange(reply.contentRange, range) && range.first == first &&
           range.last == last && range.total == total && reply.body.size() == range.Length();
}

} // namespace

FetchEnd EndOf(RangeReply::Kind kind) {
    switch (kind) {
    case Kind::Whole:
        return FetchEnd::StoredWhole;
    case Kind::NoConnection:
        return FetchEnd::NoConnection;
    case Kind::Failed:
        return FetchEnd::Failed;
    case Kind::Left:
        return FetchEnd::Left;
    case Kind::Partial:
    case Kind::Refused:
        break;
    }
    return FetchEnd::FullDownload;
}

std::string RangeValidator(const RangeReply& reply) {
    // A weak ETag cannot make a range conditional: the server would send all.
    if (!reply.etag.empty() && reply.etag.compare(0, 2, "W/") != 0)
        return reply.etag;
    return reply.lastModified;
}

DirectoryFetch FetchCentralDirectory(RangeFetcher& fetcher,
                                     const tar32::Utf8Converter& toShiftJis) {
    RangeRequest request;
    request.range = "bytes=-" + std::to_string(kTailRequest);
    request.maxBody = kTailRequest;
    RangeReply first = fetcher.Fetch(request);
    if (first.kind != Kind::Partial)
        return Settle(first);
    ContentRange range;
    if (!ParseContentRange(first.contentRange, range))
        return Full("a 206 without a usable Content-Range: " + first.contentRange);
    const std::uint64_t total = range.total;
    const std::uint64_t tailStart = total - std::min(total, kTailRequest);
    if (!Carries(first, tailStart, total - 1, total))
        return Full("a 206 with other bytes than the tail: " + first.contentRange);

    tar32::ZipTail tail;
    tail.archiveSize = total;
    tail.bytes = reinterpret_cast<const unsigned char*>(first.body.data());
    tail.size = first.body.size();
    DirectoryFetch fetch;
    fetch.archiveSize = total;
    fetch.validator = RangeValidator(first);
    try {
        const tar32::ZipEnd end = tar32::ReadZipEnd(tail);
        if (end.directoryEnd - end.directoryOffset > kMaxCentralDirectory)
            return Full("a central directory over 16 MiB");
        if (end.directoryOffset < tailStart) {
            // Without a validator the two ranges might come from two archives.
            if (fetch.validator.empty())
                return Full("no ETag or Last-Modified to hold the ranges together");
            request.range = RangeOf(end.directoryOffset, tailStart - 1);
            request.ifRange = fetch.validator;
            request.maxBody = tailStart - end.directoryOffset;
            const RangeReply second = fetcher.Fetch(request);
            if (second.kind != Kind::Partial)
                return Settle(second);
            if (!Carries(second, end.directoryOffset, tailStart - 1, total))
                return Full("a 206 with other bytes than the directory: " + second.contentRange);
            first.body.insert(0, second.body);
        }
        fetch.held = std::move(first.body);
        fetch.members = tar32::ListZipDirectory(fetch.Tail(), toShiftJis);
    } catch (const tar32::Failure& failure) {
        return Full("the tail is no ZIP directory: " + failure.message);
    }
    fetch.outcome = FetchEnd::Done;
    return fetch;
}

tar32::ZipTail DirectoryFetch::Tail() const {
    tar32::ZipTail tail;
    tail.archiveSize = archiveSize;
    tail.bytes = reinterpret_cast<const unsigned char*>(held.data());
    tail.size = held.size();
    return tail;
}
