#pragma once
// The quick check's second step: when entries differ, only the members that
// decide them, by range from the same archive, written as an archive of
// their own (tar32/ZipSubset.h) for today's unpacking. No windows.h: the
// transfer comes in through RangeFetcher and the file through a sink.
//
// The whole archive is downloaded instead when
// - the members' ranges add up to more than half the archive, or would take
//   more than kMaxMemberRequests requests;
// - the directory's answer carried neither a strong ETag nor Last-Modified:
//   no If-Range could tie the members to the directory that placed them;
// - a directory record does not hold what the listing read from it (its
//   offset where the listing found it), so no subset can be written from it;
// - any answer is not a 206 of exactly the range asked for, whole, of an
//   archive of the directory's size (a 200 is the archive itself, changed
//   since the directory: it is kept as the download).
// Before this, the prediction (QuickVerdict) leaves to the whole archive what
// only its unpacking can tell: names the file system might fold otherwise,
// a member without a time, a member that would be written over the archive
// itself (the unpacking refuses the whole archive then), a temporary folder
// on FAT. What no directory tells is whether the members that are not
// fetched are whole: where one is damaged, the full unpacking fails, while
// the members' archive unpacks and updates; its own members' CRCs are
// checked by the unpacking as for any archive.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "engine/CentralDirectory.h"

// Beyond these the whole archive costs about as much, or fewer round trips.
constexpr std::size_t kMaxMemberRequests = 32;

struct MemberFetch {
    // Done: the sink holds the archive of the members, directory and all.
    FetchEnd outcome = FetchEnd::FullDownload;
    std::uint64_t bytes = 0; // the members' bytes asked for
    std::size_t requests = 0;
    std::string why; // why the full download, for the diagnostics
};

// Fetches the members (indexes into directory.members) with one ranged GET
// per run of adjacent members, each under If-Range with the directory's
// validator, and writes them with the subset's central directory to write.
// Whatever went to write before an outcome other than Done is to be
// dropped.
MemberFetch FetchMembers(RangeFetcher& fetcher, const DirectoryFetch& directory,
                         const std::vector<std::size_t>& members,
                         const std::function<bool(const char* data, std::size_t size)>& write);
