#include <windows.h>

#include <memory>
#include <new>

#include "app/UpdaterApp.h"
#include "engine/Diagnostics.h"
#include "engine/Download.h"
#include "engine/Minisign.h"

namespace {

constexpr DWORD kReadSize = 64 * 1024;

// Feeds the whole archive file to the verifier; false when it cannot be
// read to its end.
bool FeedFile(HANDLE file, minisign::Verifier& verifier) {
    std::unique_ptr<char[]> buffer(new (std::nothrow) char[kReadSize]);
    if (buffer == nullptr)
        return false;
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(file, buffer.get(), kReadSize, &got, nullptr))
            return false;
        if (got == 0)
            return true;
        if (!verifier.Feed(buffer.get(), got))
            return true; // the verdict is a refusal already; Finish says which
    }
}

minisign::Verdict Verify(const std::string& publicKey, const std::string& signatureText,
                         HANDLE archive) {
    const std::optional<minisign::PublicKey> key = minisign::ParsePublicKey(publicKey);
    if (!key)
        return minisign::Verdict::Malformed;
    minisign::Signature signature;
    const minisign::Verdict parsed = minisign::ParseSignature(signatureText, signature);
    if (parsed != minisign::Verdict::Good)
        return parsed;
    minisign::Verifier verifier(*key, signature);
    if (!FeedFile(archive, verifier))
        return minisign::Verdict::BadSignature;
    return verifier.Finish();
}

const char* VerdictName(minisign::Verdict verdict) {
    switch (verdict) {
    case minisign::Verdict::Good:
        return "good";
    case minisign::Verdict::Malformed:
        return "malformed signature or key";
    case minisign::Verdict::UnknownAlgorithm:
        return "unknown algorithm";
    case minisign::Verdict::OtherKey:
        return "signed with another key";
    case minisign::Verdict::BadSignature:
        return "bad signature or unreadable archive";
    case minisign::Verdict::BadTrustedComment:
        return "bad trusted comment";
    case minisign::Verdict::TooLarge:
        return "legacy signature over a too large archive";
    }
    return "unknown verdict";
}

} // namespace

bool UpdaterApp::VerifyArchiveSignature(std::optional<ScopedFile>& heldArchive) {
    std::string signatureText;
    if (!DownloadSmall(settings_.SignatureURL, minisign::kSignatureFileMaxBytes, signatureText))
        return false;

    // Shared for reading only: the archive library may open it to unpack,
    // nobody may change it in between.
    heldArchive.emplace(CreateFileA(ArchivePath().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    bool verified = false;
    if (!*heldArchive) {
        LogCause("cannot open %s to check its signature: %s", ArchivePath().c_str(),
                 Win32ErrorText(GetLastError()).c_str());
    } else {
        const minisign::Verdict verdict =
            Verify(settings_.PublicKey, signatureText, heldArchive->get());
        verified = verdict == minisign::Verdict::Good;
        if (!verified)
            LogCause("signature %s refused for %s: %s", settings_.SignatureURL.c_str(),
                     ArchivePath().c_str(), VerdictName(verdict));
    }
    if (!verified) {
        heldArchive.reset();
        AfxMessageBox("ｱｰｶｲﾌﾞﾃﾞｰﾀの署名を確認できません。\r\n\r\n" + settings_.URL,
                      MB_OK | MB_ICONEXCLAMATION);
    }
    return verified;
}
