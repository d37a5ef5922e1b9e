#pragma once
// The archive download: one GET of the URL into the archive file through
// WinINet, with the messages the user sees when it fails.
#include <optional>
#include <string>

#include "framework/WaitCursor.h"

enum class DownloadOutcome {
    FileNotCreated, // the archive file could not be created; nothing else was done
    Failed,         // the transfer failed; the archive file holds what arrived
    Complete,       // the archive file holds the whole body
};

// Creates archivePath anew (truncating an old one), turns on the wait
// cursor in waitCursor once the file exists (the caller keeps it until its
// own work is done) and stores the body of url in the file. Every failure
// has shown its one message when this returns. Session and file are closed
// on return.
DownloadOutcome DownloadArchive(const std::string& url, const std::string& archivePath,
                                std::optional<CWaitCursor>& waitCursor);
