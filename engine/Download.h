#pragma once
// The downloads: one GET of a URL through WinINet, into the archive file or
// (for a small file such as a signature) into memory, with the messages the
// user sees when it fails.
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

// Fetches url into body with the same HTTP checks, refusing a body over
// maxBytes. Any failure, a URL that names no file included, shows the
// receiving-error message with url and returns false with body empty.
bool DownloadSmall(const std::string& url, std::size_t maxBytes, std::string& body);
