#pragma once
// minisign public keys and signature files, and the check of a file against
// them, as the minisign tool verifies. The cryptography is libsodium's. No
// windows.h: built and tested natively too.
#include <array>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>

namespace minisign {

// The legacy form ("Ed") signs the whole file rather than its hash, so the
// file must be held in memory to verify it. A file above this size is
// refused rather than risk running out of memory; the vendor's read-me says
// so and tells vendors to sign with minisign's default, which has no bound.
constexpr std::size_t kLegacyMaxBytes = std::size_t(64) << 20;

// The largest signature file fetched. minisign's own are a few hundred
// bytes, and its comments are bounded well below this.
constexpr std::size_t kSignatureFileMaxBytes = 64 * 1024;

using KeyId = std::array<unsigned char, 8>;

struct PublicKey {
    KeyId keyId{};
    std::array<unsigned char, 32> key{};
};

// The key as minisign writes it on the second line of its .pub file: base64
// of "Ed", the key id and the Ed25519 key. Blanks around it are ignored.
// Nothing when the text is not such a key.
std::optional<PublicKey> ParsePublicKey(const std::string& text);

struct Signature {
    bool prehashed = true; // "ED": over the BLAKE2b-512 hash; "Ed": over the file itself
    KeyId keyId{};
    std::array<unsigned char, 64> fileSignature{};
    std::string trustedComment;
    std::array<unsigned char, 64> globalSignature{};
};

// Why a file is or is not taken as signed; every value but Good refuses it.
enum class Verdict {
    Good,
    Malformed,         // not a minisign signature file
    UnknownAlgorithm,  // neither "ED" nor "Ed"
    OtherKey,          // signed with a key whose id is not the key's
    BadSignature,      // the file's signature does not verify
    BadTrustedComment, // the global signature over signature and comment does not verify
    TooLarge,          // legacy form over kLegacyMaxBytes
};

// A .minisig file's text; its lines may end in LF or CRLF. Good fills
// signature; anything else leaves it unspecified.
Verdict ParseSignature(const std::string& text, Signature& signature);

// Checks one file, fed to it in pieces, against a key and a signature.
class Verifier {
  public:
    Verifier(const PublicKey& key, const Signature& signature);
    ~Verifier();
    Verifier(const Verifier&) = delete;
    Verifier& operator=(const Verifier&) = delete;

    // False once the verdict can only be a refusal (the legacy form has
    // gone over its bound): the caller may stop reading.
    bool Feed(const void* data, std::size_t size);
    // The verdict on everything fed. Call once.
    Verdict Finish();

  private:
    struct State;
    const PublicKey key_;
    const Signature signature_;
    std::unique_ptr<State> state_;
};

// The whole check on bytes in memory: parse the signature text, then verify.
Verdict VerifyBytes(const PublicKey& key, const std::string& signatureText,
                    const std::string& bytes);

} // namespace minisign
