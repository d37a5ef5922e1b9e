#include "engine/Download.h"

#include <windows.h>

#include "engine/ArchiveFile.h"
#include "engine/Diagnostics.h"
#include "engine/Transfer.h"
#include "framework/WinApp.h"
#include "win/ScopedHandle.h"

void ShowReceiveError(const std::string& url) {
    AfxMessageBox("ｱｰｶｲﾌﾞﾃﾞｰﾀ受信中にｴﾗｰが起きました。\r\n\r\n" + url, MB_OK | MB_ICONEXCLAMATION);
}

DownloadOutcome DownloadArchive(const std::string& url, const std::string& archivePath,
                                std::optional<CWaitCursor>& waitCursor) {
    ArchiveFile file;
    if (!file.Create(archivePath))
        return DownloadOutcome::FileNotCreated;
    waitCursor.emplace();

    TransferRequest request;
    request.url = url;
    request.showsProgress = true;
    TransferReply reply;
    TransferResult result = RunTransfer(
        request, [&file](const TransferReply& headers) { return file.Sink(headers.contentLength); },
        reply);

    // Without a length, only the archive's own ends tell a cut from the end.
    if (result == TransferResult::Complete && !reply.contentLength && !file.EndsWhole()) {
        LogCause("%s ended after %llu bytes, before the archive's end", url.c_str(),
                 file.Written());
        result = TransferResult::Failed;
    }

    switch (result) {
    case TransferResult::Complete:
        return DownloadOutcome::Complete;
    case TransferResult::Left:
        return DownloadOutcome::Left;
    case TransferResult::NotHttp:
        AfxMessageBox("下記URLがｵｰﾌﾟﾝできません。\r\n\r\n" + url, MB_OK | MB_ICONEXCLAMATION);
        return DownloadOutcome::Failed;
    case TransferResult::NoConnection:
    case TransferResult::Refused:
    case TransferResult::Failed:
        break;
    }
    ShowReceiveError(url);
    return DownloadOutcome::Failed;
}

bool DownloadSmall(const std::string& url, std::size_t maxBytes, std::string& body) {
    body.clear();
    TransferRequest request;
    request.url = url;
    TransferReply reply;
    const BodySink keep = [&body, maxBytes, &url](const char* data, std::size_t size) {
        if (size > maxBytes - body.size()) {
            LogCause("%s is larger than %lu bytes", url.c_str(),
                     static_cast<unsigned long>(maxBytes));
            return false;
        }
        body.append(data, size);
        return true;
    };
    const TransferResult result = RunTransfer(
        request,
        [&](const TransferReply& headers) -> BodySink {
            if (headers.contentLength && *headers.contentLength > maxBytes) {
                LogCause("%s announces %llu bytes, more than %lu", url.c_str(),
                         *headers.contentLength, static_cast<unsigned long>(maxBytes));
                return BodySink();
            }
            return keep;
        },
        reply);
    if (result == TransferResult::Complete)
        return true;
    body.clear();
    if (result != TransferResult::Left)
        ShowReceiveError(url);
    return false;
}
