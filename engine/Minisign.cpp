#include "engine/Minisign.h"

#include <sodium.h>

#include <cstring>
#include <vector>

namespace minisign {

namespace {

const char kUntrustedPrefix[] = "untrusted comment: ";
const char kTrustedPrefix[] = "trusted comment: ";

// Decodes standard base64 with its padding into exactly out.size() bytes;
// anything else (other letters, a wrong length, stray bits) fails.
template <std::size_t N> bool DecodeExactly(const std::string& text, unsigned char (&out)[N]) {
    std::size_t length = 0;
    return sodium_base642bin(out, N, text.data(), text.size(), nullptr, &length, nullptr,
                             sodium_base64_VARIANT_ORIGINAL) == 0 &&
           length == N;
}

// The first lines of text (at most wanted) without their LF or CRLF ends.
// A last line without an end counts; what follows is not looked at.
std::vector<std::string> Lines(const std::string& text, std::size_t wanted) {
    std::vector<std::string> lines;
    std::size_t begin = 0;
    while (lines.size() < wanted && begin < text.size()) {
        std::size_t end = text.find('\n', begin);
        if (end == std::string::npos)
            end = text.size();
        std::size_t stop = end;
        while (stop > begin && text[stop - 1] == '\r')
            --stop;
        lines.push_back(text.substr(begin, stop - begin));
        begin = end + 1;
    }
    return lines;
}

bool StartsWith(const std::string& text, const char* prefix) {
    return text.compare(0, std::strlen(prefix), prefix) == 0;
}

} // namespace

std::optional<PublicKey> ParsePublicKey(const std::string& text) {
    const std::size_t begin = text.find_first_not_of(" \t");
    if (begin == std::string::npos)
        return std::nullopt;
    const std::size_t end = text.find_last_not_of(" \t");
    unsigned char bytes[2 + 8 + 32];
    if (!DecodeExactly(text.substr(begin, end - begin + 1), bytes))
        return std::nullopt;
    if (bytes[0] != 'E' || bytes[1] != 'd')
        return std::nullopt;
    PublicKey key;
    std::memcpy(key.keyId.data(), bytes + 2, key.keyId.size());
    std::memcpy(key.key.data(), bytes + 10, key.key.size());
    return key;
}

Verdict ParseSignature(const std::string& text, Signature& signature) {
    const std::vector<std::string> lines = Lines(text, 4);
    if (lines.size() < 4 || !StartsWith(lines[0], kUntrustedPrefix) ||
        !StartsWith(lines[2], kTrustedPrefix))
        return Verdict::Malformed;
    unsigned char fileSignature[2 + 8 + 64];
    unsigned char globalSignature[64];
    if (!DecodeExactly(lines[1], fileSignature) || !DecodeExactly(lines[3], globalSignature))
        return Verdict::Malformed;
    if (fileSignature[0] != 'E')
        return Verdict::UnknownAlgorithm;
    if (fileSignature[1] == 'D')
        signature.prehashed = true;
    else if (fileSignature[1] == 'd')
        signature.prehashed = false;
    else
        return Verdict::UnknownAlgorithm;
    std::memcpy(signature.keyId.data(), fileSignature + 2, signature.keyId.size());
    std::memcpy(signature.fileSignature.data(), fileSignature + 10, signature.fileSignature.size());
    signature.trustedComment = lines[2].substr(std::strlen(kTrustedPrefix));
    std::memcpy(signature.globalSignature.data(), globalSignature,
                signature.globalSignature.size());
    return Verdict::Good;
}

struct Verifier::State {
    bool ready = false;
    crypto_generichash_state hash; // prehashed form
    std::string whole;             // legacy form
    bool tooLarge = false;
};

Verifier::Verifier(const PublicKey& key, const Signature& signature)
    : key_(key), signature_(signature), state_(new State) {
    // sodium_init picks the fastest code for this processor; it may be
    // called any number of times.
    state_->ready = sodium_init() >= 0;
    if (state_->ready && signature_.prehashed)
        state_->ready =
            crypto_generichash_init(&state_->hash, nullptr, 0, crypto_generichash_BYTES_MAX) == 0;
}

Verifier::~Verifier() = default;

bool Verifier::Feed(const void* data, std::size_t size) {
    if (!state_->ready || state_->tooLarge)
        return false;
    if (signature_.prehashed)
        return crypto_generichash_update(&state_->hash, static_cast<const unsigned char*>(data),
                                         size) == 0;
    if (size > kLegacyMaxBytes - state_->whole.size()) {
        state_->tooLarge = true;
        std::string().swap(state_->whole);
        return false;
    }
    state_->whole.append(static_cast<const char*>(data), size);
    return true;
}

Verdict Verifier::Finish() {
    // The ids are compared first, as minisign does, so that a file signed
    // with another key says so rather than "bad signature".
    if (sodium_memcmp(key_.keyId.data(), signature_.keyId.data(), key_.keyId.size()) != 0)
        return Verdict::OtherKey;
    if (state_->tooLarge)
        return Verdict::TooLarge;
    if (!state_->ready)
        return Verdict::BadSignature;

    int fileCheck = -1;
    if (signature_.prehashed) {
        unsigned char digest[crypto_generichash_BYTES_MAX];
        if (crypto_generichash_final(&state_->hash, digest, sizeof(digest)) == 0)
            fileCheck = crypto_sign_verify_detached(signature_.fileSignature.data(), digest,
                                                    sizeof(digest), key_.key.data());
    } else {
        fileCheck = crypto_sign_verify_detached(
            signature_.fileSignature.data(),
            reinterpret_cast<const unsigned char*>(state_->whole.data()), state_->whole.size(),
            key_.key.data());
    }
    state_->ready = false;
    if (fileCheck != 0)
        return Verdict::BadSignature;

    // The global signature binds the trusted comment to this signature.
    std::string signedBytes(reinterpret_cast<const char*>(signature_.fileSignature.data()),
                            signature_.fileSignature.size());
    signedBytes += signature_.trustedComment;
    if (crypto_sign_verify_detached(signature_.globalSignature.data(),
                                    reinterpret_cast<const unsigned char*>(signedBytes.data()),
                                    signedBytes.size(), key_.key.data()) != 0)
        return Verdict::BadTrustedComment;
    return Verdict::Good;
}

Verdict VerifyBytes(const PublicKey& key, const std::string& signatureText,
                    const std::string& bytes) {
    Signature signature;
    const Verdict parsed = ParseSignature(signatureText, signature);
    if (parsed != Verdict::Good)
        return parsed;
    Verifier verifier(key, signature);
    verifier.Feed(bytes.data(), bytes.size());
    return verifier.Finish();
}

} // namespace minisign
