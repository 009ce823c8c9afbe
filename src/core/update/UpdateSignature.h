// Verification of a downloaded archive: its SHA-256 and an Ed25519 signature (RFC 8032) over its
// bytes, both required, checked with OpenSSL's EVP interface.
//
// Trusted public keys are given as base64 text, comma-separated: each key either its 32 raw bytes
// or its DER SubjectPublicKeyInfo (what `openssl pkey -pubout -outform DER` writes). A key is named
// by its identifier: the first 8 bytes of the SHA-256 of its 32 raw bytes, in hexadecimal.
#pragma once

#include <array>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ostrel {

struct UpdateSigningKey {
    std::array<unsigned char, 32> raw{};

    /// 16 lower-case hexadecimal digits.
    [[nodiscard]] std::string identifier() const;
    friend bool operator==(const UpdateSigningKey&, const UpdateSigningKey&) = default;
};

/// Strict base64 (RFC 4648, padded, blanks around the text ignored); none when it is not.
[[nodiscard]] std::optional<std::string> decodeBase64(std::string_view text);

/// Parses a comma-separated list; blanks around each key are ignored, empty items skipped. Throws
/// Error (domain "KavrinUpdater", code 12) naming the first item that is not a key.
[[nodiscard]] std::vector<UpdateSigningKey> parseSigningKeys(std::string_view list);

/// The keys this build trusts (the build's OSTREL_UPDATE_PUBLIC_KEYS); empty when it names none.
/// Throws like parseSigningKeys when the build was given something that is not a key.
[[nodiscard]] const std::vector<UpdateSigningKey>& builtInSigningKeys();

/// The identifiers of `keys` joined by ", ".
[[nodiscard]] std::string identifiersOf(const std::vector<UpdateSigningKey>& keys);

/// The SHA-256 of a file's bytes, read in pieces, as 64 lower-case hexadecimal digits. Throws Error
/// (domain "file") when it cannot be read.
[[nodiscard]] std::string sha256HexOfFile(const std::filesystem::path& file);

/// The key among `trusted` whose signature `signatureBase64` is over the bytes of `file`, or none
/// (also for a signature that is not base64 of 64 bytes). Throws Error (domain "file") when the file
/// cannot be read.
[[nodiscard]] std::optional<UpdateSigningKey> signingKeyOf(const std::filesystem::path& file,
                                                           std::string_view signatureBase64,
                                                           const std::vector<UpdateSigningKey>& trusted);

}  // namespace ostrel
