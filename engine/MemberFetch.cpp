#include "engine/MemberFetch.h"

#include "engine/ContentRange.h"
#include "tar32/ZipSubset.h"

namespace {

using Kind = RangeReply::Kind;

MemberFetch Full(const std::string& why) {
    MemberFetch fetch;
    fetch.why = why;
    return fetch;
}

// The ranges to ask for: the members' spans in the archive's order, those
// that touch joined into one.
std::vector<tar32::ZipSpan> RangesOf(const DirectoryFetch& directory,
                                     const std::vector<std::size_t>& members) {
    const std::vector<tar32::ZipSpan> spans =
        tar32::MemberSpans(directory.members, tar32::ReadZipEnd(directory.Tail()));
    std::vector<tar32::ZipSpan> ranges;
    for (std::size_t i : tar32::SubsetOrder(directory.members, members)) {
        if (spans[i].Size() == 0)
            continue;
        if (!ranges.empty() && ranges.back().end == spans[i].begin)
            ranges.back().end = spans[i].end;
        else
            ranges.push_back(spans[i]);
    }
    return ranges;
}

} // namespace

MemberFetch FetchMembers(RangeFetcher& fetcher, const DirectoryFetch& directory,
                         const std::vector<std::size_t>& members,
                         const std::function<bool(const char* data, std::size_t size)>& write) {
    // Without a validator a member might come from a newer archive than the
    // directory that placed it.
    if (directory.validator.empty())
        return Full("no ETag or Last-Modified to hold the ranges together");
    std::vector<tar32::ZipSpan> ranges;
    std::string subsetDirectory;
    try {
        ranges = RangesOf(directory, members);
        subsetDirectory = tar32::SubsetDirectory(directory.Tail(), directory.members, members);
    } catch (const tar32::Failure& failure) {
        return Full("no archive of the members: " + failure.message);
    }
    MemberFetch fetch;
    for (const tar32::ZipSpan& range : ranges)
        fetch.bytes += range.Size();
    fetch.requests = ranges.size();
    if (fetch.bytes > directory.archiveSize / 2) {
        fetch.why = "the members are more than half of the archive";
        return fetch;
    }
    if (fetch.requests > kMaxMemberRequests) {
        fetch.why =
            "the members would take more than " + std::to_string(kMaxMemberRequests) + " requests";
        return fetch;
    }

    for (const tar32::ZipSpan& range : ranges) {
        RangeRequest request;
        request.range = RangeOf(range.begin, range.end - 1);
        request.ifRange = directory.validator;
        request.maxBody = range.Size();
        std::uint64_t received = 0;
        request.sink = [&received, &write](const char* data, std::size_t size) {
            received += size;
            return write(data, size);
        };
        const RangeReply reply = fetcher.Fetch(request);
        if (reply.kind != Kind::Partial) {
            fetch.outcome = EndOf(reply.kind);
            if (fetch.outcome == FetchEnd::FullDownload)
                fetch.why = "the server does not answer " + request.range;
            return fetch;
        }
        // Exactly the bytes asked for, of an archive of the directory's size.
        ContentRange answered;
        if (!ParseContentRange(reply.contentRange, answered) || answered.first != range.begin ||
            answered.last != range.end - 1 || answered.total != directory.archiveSize ||
            received != range.Size()) {
            fetch.why = "a 206 with other bytes than " + request.range + ": " + reply.contentRange +
                        ", " + std::to_string(received) + " bytes";
            return fetch;
        }
    }
    if (!write(subsetDirectory.data(), subsetDirectory.size())) {
        fetch.outcome = FetchEnd::Failed;
        return fetch;
    }
    fetch.outcome = FetchEnd::Done;
    return fetch;
}
