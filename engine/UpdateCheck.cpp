#include <cstring>
#include <optional>

#include "app/UpdaterApp.h"
#include "engine/Download.h"
#include "engine/UpdateEntry.h"

bool UpdaterApp::CheckForUpdates(UpdateEntry* head, int* count) {
    int found = 0;
    if (count != nullptr)
        *count = 0;

    // The hourglass stays from the archive file's creation until the check
    // returns, over the transfer, the unpacking and the comparison.
    std::optional<CWaitCursor> waitCursor;
    const QuickCheckOutcome quick = settings_.QuickCheck ? QuickCheck(head, waitCursor, found)
                                                         : QuickCheckOutcome::FullDownload;
    if (quick == QuickCheckOutcome::NothingNew)
        return true;
    if (quick == QuickCheckOutcome::Compared) {
        if (count != nullptr)
            *count = found;
        return true;
    }
    if (quick == QuickCheckOutcome::Failed)
        return false;
    if (quick == QuickCheckOutcome::FullDownload &&
        DownloadArchive(settings_.URL, ArchivePath(), waitCursor) != DownloadOutcome::Complete)
        return false;

    // With a key, nothing is unpacked before the archive is proved to be
    // the vendor's; the file stays locked against writing until unpacked.
    std::optional<ScopedFile> verifiedArchive;
    if (!settings_.PublicKey.empty() && !VerifyArchiveSignature(verifiedArchive))
        return false;

    // A failed unpacking has shown its message; the caller then treats the
    // check as one that found nothing.
    if (!ExtractArchive())
        return true;

    for (UpdateEntry* entry = head; entry != nullptr; entry = entry->next) {
        GetFileStamp(true, entry->fileName, entry->archiveTime, kTimeTextSize, &entry->archiveSize);
        if (CompareArchiveStamp(*entry))
            ++found;
    }
    if (count != nullptr)
        *count = found;
    return true;
}
