// What the updater knows and says: the release record a feed offers, the seven states of the
// updater, and the errors of its domain with their French and English texts.
#pragma once

#include "core/support/system/Error.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

namespace ostrel {

/// One release offered by the feed; compared by value.
struct ReleaseInfo {
    std::string version;  ///< a leading "v" or "V" already removed
    std::optional<std::int64_t> build{};
    std::string downloadURL;              ///< the release ZIP
    std::optional<std::string> sha256{};  ///< expected digest as hexadecimal text, case as given
    std::optional<std::string> notesFR{};
    std::optional<std::string> notesEN{};
    std::optional<std::string> htmlURL{};
    std::optional<std::string> signature{};     ///< base64 Ed25519 signature given inline by a manifest
    std::optional<std::string> signatureURL{};  ///< or the address of the archive's ".sig" asset

    /// The notes for the interface language: the language's own notes when present (not empty),
    /// else the other language's, else "Mise à jour de maintenance et d'améliorations." /
    /// "Maintenance and feature update.".
    [[nodiscard]] std::string localizedNotes() const;

    friend bool operator==(const ReleaseInfo&, const ReleaseInfo&) = default;
};

/// The updater's state: one of seven cases, equal when the case and its payload are equal.
namespace UpdaterState {
struct Idle {
    friend bool operator==(const Idle&, const Idle&) = default;
};
struct Checking {
    friend bool operator==(const Checking&, const Checking&) = default;
};
struct UpToDate {
    std::string version;  ///< the running version
    friend bool operator==(const UpToDate&, const UpToDate&) = default;
};
struct UpdateAvailable {
    ReleaseInfo release;
    friend bool operator==(const UpdateAvailable&, const UpdateAvailable&) = default;
};
struct Downloading {
    double fraction = 0;  ///< 0 to 1
    friend bool operator==(const Downloading&, const Downloading&) = default;
};
struct Installing {
    friend bool operator==(const Installing&, const Installing&) = default;
};
struct Failed {
    std::string message;  ///< for the user, already in the interface language
    friend bool operator==(const Failed&, const Failed&) = default;
};
}  // namespace UpdaterState

using UpdaterStateValue =
    std::variant<UpdaterState::Idle, UpdaterState::Checking, UpdaterState::UpToDate, UpdaterState::UpdateAvailable,
                 UpdaterState::Downloading, UpdaterState::Installing, UpdaterState::Failed>;

/// Errors of the updater's own domain. Codes 1–3 come from the release check, 10–12 from the
/// verification of a download, 20 and above from fetching and installing.
namespace UpdateError {
inline constexpr std::string_view domain = "KavrinUpdater";

enum Code : int {
    invalidJSON = 1,
    noArchive = 2,
    incompleteManifest = 3,
    checksumMismatch = 10,
    noInstallTree = 11,
    signingKey = 12,
    httpStatus = 20,
    tooLarge = 21,
    archiveRefused = 22,
    notReplaceable = 23,
    plotRunning = 24,
    busy = 25,
    installFailed = 26,
};

[[nodiscard]] Error make(Code code, const std::string& message);

[[nodiscard]] Error invalidJSONError();
[[nodiscard]] Error noArchiveError();
[[nodiscard]] Error incompleteManifestError();
/// "SHA-256 checksum mismatch (expected 0123456789…, got abcdef0123…)."
[[nodiscard]] Error checksumMismatchError(std::string_view expected, std::string_view computed);
/// The release gives no SHA-256: nothing unverified is installed.
[[nodiscard]] Error missingChecksumError();
/// The archive holds no "<appName>/" install tree with our marker and program.
[[nodiscard]] Error noInstallTreeError();
/// "Signing key mismatch (unknown ≠ 1a2b3c4d5e6f7a8b)." — no trusted key verifies the signature.
[[nodiscard]] Error signingKeyMismatchError(std::string_view trustedKeyIDs);
[[nodiscard]] Error missingSignatureError();
[[nodiscard]] Error noTrustedKeyError();
[[nodiscard]] Error httpStatusError(long status);
[[nodiscard]] Error tooLargeError(std::uint64_t limitBytes);
}  // namespace UpdateError

}  // namespace ostrel
