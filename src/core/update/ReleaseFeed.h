// The release feed: which address to ask, how to read its answer, and whether the release it offers
// is newer than the running program.
//
// A feed is JSON in one of two forms: a manifest written for this program ({"version", "url", …},
// possibly nested under the bundle identifier or the application's name so one feed serves several
// programs), or a release object of the GitHub REST API ("tag_name", "body", "assets"). Reading is a
// pure function of the bytes; fetching them is the updater's business.
#pragma once

#include "core/update/ReleaseInfo.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ostrel::ReleaseFeed {

/// The host of the default feed; its path is "/repos/" + repository slug + "/releases/latest".
inline constexpr std::string_view defaultFeedHost = "https://api.github.com";

/// True for an absolute URL with a scheme (Qt's strict parser); the text is not trimmed.
[[nodiscard]] bool parsesAsURL(std::string_view text);

/// The first usable address among the environment's KAVRIN_UPDATE_URL, the stored `updateURL`
/// setting and the default feed of `githubRepo`. A candidate is used only when it is present, not
/// empty and parses as a URL. Empty when none is usable and `githubRepo` is empty (a build without a
/// default feed).
[[nodiscard]] std::string configuredFeedURL(const std::optional<std::string>& environmentValue,
                                            const std::optional<std::string>& storedValue, std::string_view githubRepo);

/// The machine's architecture as release archives name it ("x86_64", "aarch64"; uname's machine).
[[nodiscard]] std::string hostArchitecture();

/// Reads a feed. Throws Error: the JSON reader's own error for bytes that are not JSON, code 1 for a
/// top level that is not an object, code 2 for a release object without a tag or a usable .zip
/// asset, code 3 for an incomplete manifest. Among a release object's .zip assets, one whose name
/// holds "linux" and `architecture` wins, then one holding the application's name, then the first;
/// an asset named like the chosen one plus ".sig" gives `signatureURL`.
[[nodiscard]] ReleaseInfo parseRelease(std::string_view bytes, std::string_view bundleID, std::string_view appName,
                                       std::string_view architecture = {});

/// A version text as a list of numbers: trimmed, one leading "v"/"V" removed, the part before the
/// first "-" split at "."; each piece a decimal integer with an optional sign, else 0. Each number is
/// given as canonical decimal digits (no sign, no leading zeros), so numbers of any length compare
/// exactly: "V1.3-beta" → {"1", "3"}, "1.2b" → {"1", "0"}, "" → {}.
[[nodiscard]] std::vector<std::string> normalizeVersion(std::string_view version);

/// True when the candidate's numbers are greater at the first position where they differ (a
/// missing position counts 0); with equal numbers, only when both builds are known and the
/// candidate's is greater.
[[nodiscard]] bool isNewer(std::string_view candidateVersion, std::optional<std::int64_t> candidateBuild,
                           std::string_view thanVersion, std::optional<std::int64_t> currentBuild);

/// SHA-256 (FIPS 180-4) as 64 lower-case hexadecimal digits.
[[nodiscard]] std::string sha256Hex(std::string_view bytes);

/// The SHA-256 digest named in a release description: the first "sha256" (any case), optional
/// blanks, ":" or "=", optional blanks, then 64 hexadecimal digits, lower-cased; none otherwise.
[[nodiscard]] std::optional<std::string> sha256InNotes(std::string_view notes);

}  // namespace ostrel::ReleaseFeed
