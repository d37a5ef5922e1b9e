// The quick check: the archive's central directory by range, and from it the
// stamps today's unpacking would give; when an entry would be new, only the
// members that decide it, as an archive of their own that is unpacked and
// compared as today; the whole archive when only the unpacking can tell, or
// the members would not do. The decisions are in CentralDirectory,
// QuickVerdict and MemberFetch (portable); here are the transfers, the file
// system's conversions and the messages.
#include <windows.h>

#include <optional>

#include "app/UpdaterApp.h"
#include "engine/ArchiveFile.h"
#include "engine/CentralDirectory.h"
#include "engine/Diagnostics.h"
#include "engine/Download.h"
#include "engine/MemberFetch.h"
#include "engine/QuickVerdict.h"
#include "engine/TimeText.h"
#include "engine/Transfer.h"
#include "engine/UpdateEntry.h"
#include "tar32/WinFileSystem.h"

namespace {

// The ranges through the program's one transfer; a 200 goes to the archive.
class TransferFetcher : public RangeFetcher {
  public:
    TransferFetcher(const std::string& url, ArchiveFile& archive) : url_(url), archive_(archive) {}

    RangeReply Fetch(const RangeRequest& asked) override {
        TransferRequest request;
        request.url = url_;
        request.range = asked.range;
        request.ifRange = asked.ifRange;
        // A server that ignores the range sends the whole archive: shown as it comes.
        request.showsProgress = true;
        RangeReply out;
        TransferReply reply;
        bool whole = false;
        bool tooLong = false;
        std::uint64_t received = 0;
        TransferResult result = RunTransfer(
            request,
            [&](const TransferReply& headers) -> BodySink {
                if (headers.status == 200) {
                    whole = true;
                    // The whole archive replaces whatever ranges went before it.
                    return archive_.Restart() ? archive_.Sink(headers.contentLength) : BodySink();
                }
                return [&](const char* data, std::size_t size) {
                    if (size > asked.maxBody - received) {
                        LogCause("%s sent more than the %llu bytes of %s", url_.c_str(),
                                 static_cast<unsigned long long>(asked.maxBody),
                                 asked.range.c_str());
                        tooLong = true;
                        return false;
                    }
                    received += size;
                    if (asked.sink)
                        return asked.sink(data, size);
                    out.body.append(data, size);
                    return true;
                };
            },
            reply);
        if (result == TransferResult::Complete && whole && !reply.contentLength &&
            !archive_.EndsWhole()) {
            LogCause("%s ended before the archive's end", url_.c_str());
            result = TransferResult::Failed;
        }
        out.contentRange = reply.contentRange;
        out.etag = reply.etag;
        out.lastModified = reply.lastModified;
        switch (result) {
        case TransferResult::Complete:
            out.kind = whole ? RangeReply::Kind::Whole : RangeReply::Kind::Partial;
            break;
        case TransferResult::NoConnection:
            out.kind = RangeReply::Kind::NoConnection;
            break;
        case TransferResult::Left:
            out.kind = RangeReply::Kind::Left;
            break;
        case TransferResult::Failed:
            out.kind = tooLong ? RangeReply::Kind::Refused : RangeReply::Kind::Failed;
            break;
        case TransferResult::Refused:
        case TransferResult::NotHttp:
            out.kind = RangeReply::Kind::Refused;
            break;
        }
        return out;
    }

  private:
    const std::string& url_;
    ArchiveFile& archive_;
};

// FAT keeps local times in two-second steps: what the unpacking leaves
// there is not what the archive says.
bool KeepsExactTimes(const std::string& folder) {
    char volume[MAX_PATH + 1] = {};
    char fileSystem[MAX_PATH + 1] = {};
    if (!GetVolumePathNameA(folder.c_str(), volume, sizeof volume) ||
        !GetVolumeInformationA(volume, nullptr, 0, nullptr, nullptr, nullptr, fileSystem,
                               sizeof fileSystem))
        return false;
    const std::string name = fileSystem;
    return name.find("FAT") == std::string::npos;
}

// Where a fetching step that did not get what it fetched for leaves the
// check; nothing when it did (Done).
std::optional<UpdaterApp::QuickCheckOutcome> Ended(FetchEnd end, const std::string& why,
                                                   const std::string& url) {
    using Outcome = UpdaterApp::QuickCheckOutcome;
    switch (end) {
    case FetchEnd::Done:
        return std::nullopt;
    case FetchEnd::StoredWhole:
        return Outcome::Downloaded;
    case FetchEnd::FullDownload:
        LogCause("quick check of %s: %s; the whole archive follows", url.c_str(), why.c_str());
        return Outcome::FullDownload;
    case FetchEnd::NoConnection:
    case FetchEnd::Failed:
        ShowReceiveError(url);
        return Outcome::Failed;
    case FetchEnd::Left:
        break;
    }
    return Outcome::Failed;
}

} // namespace

UpdaterApp::QuickCheckOutcome
UpdaterApp::QuickCheck(UpdateEntry* head, std::optional<CWaitCursor>& waitCursor, int& count) {
    count = 0;
    const std::string& url = settings_.URL;
    if (!IsHttpUrl(url))
        return QuickCheckOutcome::FullDownload;
    ArchiveFile archive;
    // Created before the first range, as the download creates it: a server
    // that answers with the whole archive has it stored there.
    if (!archive.Create(ArchivePath()))
        return QuickCheckOutcome::Failed;
    waitCursor.emplace();

    TransferFetcher fetcher(url, archive);
    tar32::WinFileSystem fileSystem;
    const DirectoryFetch fetch =
        FetchCentralDirectory(fetcher, [&fileSystem](const std::string& utf8, std::string& sjis) {
            return fileSystem.Utf8ToShiftJis(utf8, sjis);
        });
    if (const std::optional<QuickCheckOutcome> ended = Ended(fetch.outcome, fetch.why, url))
        return *ended;

    if (!KeepsExactTimes(TempFolderPath())) {
        LogCause("quick check: %s keeps no exact times; the whole archive follows",
                 TempFolderPath().c_str());
        return QuickCheckOutcome::FullDownload;
    }
    const StampInTempFolder stampOnDisk = [this](const std::string& fileName, ArchiveStamp& stamp) {
        GetFileStamp(true, fileName, stamp.time, kTimeTextSize, &stamp.size);
    };
    const QuickPrediction prediction = PredictComparison(
        head, fetch.members,
        [](const tar32::FileTime& time, char* text) {
            std::uint64_t ticks = 0;
            return tar32::WrittenFileTime(time, ticks) && LocalTimeText(ticks, text, kTimeTextSize);
        },
        stampOnDisk);
    if (!prediction.certain) {
        LogCause("quick check of %s: only the unpacking can tell; the whole archive follows",
                 url.c_str());
        return QuickCheckOutcome::FullDownload;
    }
    if (prediction.needsUpdate == 0) {
        ApplyPrediction(head, prediction);
        return QuickCheckOutcome::NothingNew;
    }
    // A signature covers the whole archive, so with a key the whole is fetched.
    if (!settings_.PublicKey.empty()) {
        LogCause("quick check of %s: something is new; the whole archive follows for its signature",
                 url.c_str());
        return QuickCheckOutcome::FullDownload;
    }

    const MemberFetch members =
        FetchMembers(fetcher, fetch, prediction.deciding, archive.Sink(std::nullopt));
    if (const std::optional<QuickCheckOutcome> ended = Ended(members.outcome, members.why, url))
        return *ended;
    archive.Close();
    // A failed unpacking has shown its message: a check that found nothing.
    if (!ExtractArchive())
        return QuickCheckOutcome::Compared;
    // The entries that differ are stamped from what was unpacked, as today;
    // the others as the central directory says the full archive would stamp them.
    count = ApplyPrediction(head, prediction, stampOnDisk);
    return QuickCheckOutcome::Compared;
}
