// Signature files and keys made by the real minisign tool at build time
// (tests/support/make_minisign_fixtures.py), with their damaged variants.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <vector>

#include "engine/Minisign.h"

namespace minisign {
void PrintTo(Verdict verdict, std::ostream* out) {
    static const char* const names[] = {"Good",     "Malformed",    "UnknownAlgorithm",
                                        "OtherKey", "BadSignature", "BadTrustedComment",
                                        "TooLarge"};
    *out << names[static_cast<int>(verdict)];
}
} // namespace minisign

namespace {

using minisign::Verdict;

std::string Fixture(const std::string& name) {
    std::ifstream in(std::string(MINISIGN_FIXTURES) + "/" + name, std::ios::binary);
    EXPECT_TRUE(in.good()) << name;
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

minisign::PublicKey Key(const std::string& name) {
    const auto key = minisign::ParsePublicKey(Fixture("key-" + name + ".txt"));
    EXPECT_TRUE(key.has_value()) << name;
    return key.value_or(minisign::PublicKey{});
}

// The same check with the file fed in small pieces, as the program reads it.
Verdict VerifyInPieces(const minisign::PublicKey& key, const std::string& signatureText,
                       const std::string& bytes, std::size_t piece) {
    minisign::Signature signature;
    const Verdict parsed = minisign::ParseSignature(signatureText, signature);
    if (parsed != Verdict::Good)
        return parsed;
    minisign::Verifier verifier(key, signature);
    for (std::size_t at = 0; at < bytes.size(); at += piece)
        verifier.Feed(bytes.data() + at, std::min(piece, bytes.size() - at));
    return verifier.Finish();
}

struct Case {
    const char* signature;
    const char* archive;
    const char* key;
    Verdict verdict;
};

TEST(Minisign, EverySignatureFileAsMinisignJudgesIt) {
    const Case cases[] = {
        {"good", "update.zip", "a", Verdict::Good},
        {"legacy", "update.zip", "a", Verdict::Good},
        {"crlf", "update.zip", "a", Verdict::Good},
        {"good", "update-bit.zip", "a", Verdict::BadSignature},
        {"legacy", "update-bit.zip", "a", Verdict::BadSignature},
        {"signature-bit", "update.zip", "a", Verdict::BadSignature},
        {"comment-edited", "update.zip", "a", Verdict::BadTrustedComment},
        {"other-key", "update.zip", "a", Verdict::OtherKey},
        {"key-id", "update.zip", "a", Verdict::OtherKey},
        // The id matches but the key does not: the key itself must be used.
        {"good", "update.zip", "a-id-b-key", Verdict::BadSignature},
        {"legacy", "update.zip", "a-id-b-key", Verdict::BadSignature},
        {"unknown-algorithm", "update.zip", "a", Verdict::UnknownAlgorithm},
        {"truncated", "update.zip", "a", Verdict::Malformed},
        {"garbage", "update.zip", "a", Verdict::Malformed},
        {"update.zip", "update.zip", "a", Verdict::Malformed},
        {"", "update.zip", "a", Verdict::Malformed}, // no signature text at all
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.signature) + " / " + c.archive + " / key " + c.key);
        const std::string name = c.signature;
        const std::string signature = name.empty()           ? ""
                                      : name == "update.zip" ? Fixture(name)
                                                             : Fixture(name + ".minisig");
        const std::string archive = Fixture(c.archive);
        const minisign::PublicKey key = Key(c.key);
        EXPECT_EQ(minisign::VerifyBytes(key, signature, archive), c.verdict);
        EXPECT_EQ(VerifyInPieces(key, signature, archive, 5), c.verdict);
    }
}

TEST(Minisign, PublicKeyValues) {
    const std::string a = Fixture("key-a.txt");
    EXPECT_TRUE(minisign::ParsePublicKey(" \t" + a + " ").has_value());
    // The whole .pub file, or its comment line, is not the key; nor are
    // padding where a key byte is, nothing, or blanks.
    std::vector<std::string> bad = {Fixture("a.pub"), a.substr(0, a.size() - 1) + "=", "", "   "};
    for (const char* name : {"short", "long", "bad-base64", "wrong-algorithm"})
        bad.push_back(Fixture(std::string("key-") + name + ".txt"));
    for (const std::string& text : bad)
        EXPECT_FALSE(minisign::ParsePublicKey(text)) << text;
}

TEST(Minisign, TheLegacyFormIsBoundedInMemory) {
    minisign::Signature legacy;
    ASSERT_EQ(minisign::ParseSignature(Fixture("legacy.minisig"), legacy), Verdict::Good);
    ASSERT_FALSE(legacy.prehashed);
    const std::string block(1 << 20, 'x');
    for (std::size_t extra : {0, 1}) {
        SCOPED_TRACE(extra);
        minisign::Verifier verifier(Key("a"), legacy);
        bool accepted = true;
        for (std::size_t fed = 0; fed < minisign::kLegacyMaxBytes; fed += block.size())
            accepted = verifier.Feed(block.data(), block.size()) && accepted;
        if (extra > 0)
            accepted = verifier.Feed("x", extra) && accepted;
        EXPECT_EQ(accepted, extra == 0);
        EXPECT_EQ(verifier.Finish(), extra == 0 ? Verdict::BadSignature : Verdict::TooLarge);
    }
}

} // namespace
