#include "core/update/ReleaseFeed.h"

#include "core/support/text/Json.h"

#include <QString>
#include <QUrl>

#include <openssl/evp.h>
#include <sys/utsname.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <functional>
#include <limits>

namespace ostrel::ReleaseFeed {

namespace {

constexpr std::string_view blanks = " \t\n\r\v\f";

std::string_view trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(blanks);
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

std::string lowered(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

bool contains(std::string_view text, std::string_view part) { return text.find(part) != std::string_view::npos; }

std::string withoutLeadingV(std::string_view text) {
    if (!text.empty() && (text.front() == 'v' || text.front() == 'V')) text.remove_prefix(1);
    return std::string(text);
}

/// A decimal integer with an optional leading sign and digits only, within 64 bits.
std::optional<std::int64_t> decimalInteger(std::string_view text) {
    if (text.size() > 1 && text.front() == '+') text.remove_prefix(1);
    if (text.empty()) return std::nullopt;
    std::int64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

std::optional<std::string> stringAt(const Json& object, const char* key) {
    const auto found = object.find(key);
    if (found == object.end() || !found->is_string()) return std::nullopt;
    return found->get<std::string>();
}

std::optional<std::int64_t> buildAt(const Json& object) {
    const auto found = object.find("build");
    if (found == object.end()) return std::nullopt;
    if (found->is_number_integer() && !found->is_number_unsigned()) return found->get<std::int64_t>();
    if (found->is_number_unsigned()) {
        const auto value = found->get<std::uint64_t>();
        if (value > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) return std::nullopt;
        return static_cast<std::int64_t>(value);
    }
    if (found->is_string()) return decimalInteger(found->get_ref<const std::string&>());
    return std::nullopt;
}

std::optional<std::string> urlAt(const Json& object, const char* key) {
    auto text = stringAt(object, key);
    if (text && parsesAsURL(*text)) return text;
    return std::nullopt;
}

ReleaseInfo parseManifest(const Json& manifest) {
    const auto version = stringAt(manifest, "version");
    if (!version) throw UpdateError::incompleteManifestError();
    auto address = stringAt(manifest, "url");
    if (!address) address = stringAt(manifest, "download_url");
    if (!address || !parsesAsURL(*address)) throw UpdateError::incompleteManifestError();

    ReleaseInfo release;
    release.version = withoutLeadingV(*version);
    release.downloadURL = *address;
    release.build = buildAt(manifest);
    if (const auto digest = stringAt(manifest, "sha256")) {
        if (const auto text = trimmed(*digest); !text.empty()) release.sha256 = std::string(text);
    }
    const auto notes = stringAt(manifest, "notes");
    release.notesFR = stringAt(manifest, "notes_fr");
    if (!release.notesFR) release.notesFR = notes;
    release.notesEN = stringAt(manifest, "notes_en");
    if (!release.notesEN) release.notesEN = notes;
    release.htmlURL = urlAt(manifest, "html_url");
    if (const auto signature = stringAt(manifest, "signature")) {
        if (const auto text = trimmed(*signature); !text.empty()) release.signature = std::string(text);
    }
    return release;
}

struct Asset {
    std::string name;       // as given
    std::string lowerName;  // for matching
    const Json* object;
};

std::vector<Asset> assetsOf(const Json& release) {
    std::vector<Asset> assets;
    const auto found = release.find("assets");
    if (found == release.end() || !found->is_array()) return assets;
    if (!std::all_of(found->begin(), found->end(), [](const Json& item) { return item.is_object(); })) return assets;
    for (const Json& item : *found) {
        const auto name = stringAt(item, "name");
        assets.push_back({name.value_or(std::string()), lowered(name.value_or(std::string())), &item});
    }
    return assets;
}

/// The archive to install: the first .zip asset passing the most specific test that any passes.
const Asset* chosenArchive(const std::vector<Asset>& assets, std::string_view appName, std::string_view architecture) {
    const std::string app = lowered(appName);
    const std::string arch = lowered(architecture);
    const auto isZip = [](const Asset& a) { return a.lowerName.size() >= 4 && a.lowerName.ends_with(".zip"); };
    const auto forThisMachine = [&](const Asset& a) {
        return !arch.empty() && contains(a.lowerName, "linux") && contains(a.lowerName, arch);
    };
    const auto named = [&](const Asset& a) { return contains(a.lowerName, app); };
    const std::array<std::function<bool(const Asset&)>, 4> passes{
        [&](const Asset& a) { return forThisMachine(a) && named(a); },
        [&](const Asset& a) { return forThisMachine(a); },
        [&](const Asset& a) { return named(a); },
        [](const Asset&) { return true; },
    };
    for (const auto& pass : passes) {
        for (const Asset& asset : assets) {
            if (isZip(asset) && pass(asset)) return &asset;
        }
    }
    return nullptr;
}

ReleaseInfo parseReleaseObject(const Json& object, std::string_view appName, std::string_view architecture) {
    const auto tag = stringAt(object, "tag_name");
    if (!tag) throw UpdateError::noArchiveError();
    ReleaseInfo release;
    release.version = withoutLeadingV(*tag);
    const auto notes = stringAt(object, "body");
    release.notesFR = notes;
    release.notesEN = notes;
    release.htmlURL = urlAt(object, "html_url");

    const std::vector<Asset> assets = assetsOf(object);
    const Asset* archive = chosenArchive(assets, appName, architecture);
    if (archive == nullptr) throw UpdateError::noArchiveError();
    const auto address = urlAt(*archive->object, "browser_download_url");
    if (!address) throw UpdateError::noArchiveError();
    release.downloadURL = *address;
    if (notes) release.sha256 = sha256InNotes(*notes);

    const std::string signatureName = archive->lowerName + ".sig";
    for (const Asset& asset : assets) {
        if (asset.lowerName == signatureName) {
            release.signatureURL = urlAt(*asset.object, "browser_download_url");
            break;
        }
    }
    return release;
}

bool isHexDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

bool isRegexBlank(char c) { return blanks.find(c) != std::string_view::npos; }

/// Canonical decimal digits of a version piece: sign and leading zeros dropped; "0" when the piece
/// is not a decimal integer.
std::string versionNumber(std::string_view piece) {
    if (!piece.empty() && (piece.front() == '+' || piece.front() == '-')) piece.remove_prefix(1);
    if (piece.empty() || !std::all_of(piece.begin(), piece.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return "0";
    }
    const auto first = piece.find_first_not_of('0');
    return first == std::string_view::npos ? "0" : std::string(piece.substr(first));
}

std::vector<std::string_view> nonEmptyPieces(std::string_view text, char separator) {
    std::vector<std::string_view> pieces;
    while (!text.empty()) {
        const auto end = text.find(separator);
        const auto piece = text.substr(0, end);
        if (!piece.empty()) pieces.push_back(piece);
        if (end == std::string_view::npos) break;
        text.remove_prefix(end + 1);
    }
    return pieces;
}

/// Compares two canonical decimal numbers: -1, 0 or 1.
int compareNumbers(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
    const int order = a.compare(b);
    return order < 0 ? -1 : (order > 0 ? 1 : 0);
}

}  // namespace

bool parsesAsURL(std::string_view text) {
    if (text.empty()) return false;
    const QUrl url(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())), QUrl::StrictMode);
    return url.isValid() && !url.isRelative();
}

std::string configuredFeedURL(const std::optional<std::string>& environmentValue,
                              const std::optional<std::string>& storedValue, std::string_view githubRepo) {
    for (const auto* candidate : {&environmentValue, &storedValue}) {
        if (*candidate && parsesAsURL(**candidate)) return **candidate;
    }
    if (githubRepo.empty()) return {};
    return std::string(defaultFeedHost) + "/repos/" + std::string(githubRepo) + "/releases/latest";
}

std::string hostArchitecture() {
    utsname names{};
    if (::uname(&names) != 0) return {};
    return names.machine;
}

ReleaseInfo parseRelease(std::string_view bytes, std::string_view bundleID, std::string_view appName,
                         std::string_view architecture) {
    Json feed;
    try {
        feed = Json::parse(bytes);
    } catch (const Json::exception& error) {
        throw Error("JSON", error.id, error.what());
    }
    if (!feed.is_object()) throw UpdateError::invalidJSONError();
    for (const std::string_view key : {bundleID, appName}) {
        const auto nested = feed.find(std::string(key));
        if (nested != feed.end() && nested->is_object()) return parseManifest(*nested);
    }
    if (feed.contains("version") && (feed.contains("url") || feed.contains("download_url"))) return parseManifest(feed);
    return parseReleaseObject(feed, appName, architecture);
}

std::vector<std::string> normalizeVersion(std::string_view version) {
    std::string_view text = trimmed(version);
    if (!text.empty() && (text.front() == 'v' || text.front() == 'V')) text.remove_prefix(1);
    const auto dashPieces = nonEmptyPieces(text, '-');
    const std::string_view head = dashPieces.empty() ? text : dashPieces.front();
    std::vector<std::string> numbers;
    for (const std::string_view piece : nonEmptyPieces(head, '.')) numbers.push_back(versionNumber(piece));
    return numbers;
}

bool isNewer(std::string_view candidateVersion, std::optional<std::int64_t> candidateBuild,
             std::string_view thanVersion, std::optional<std::int64_t> currentBuild) {
    const auto a = normalizeVersion(candidateVersion);
    const auto b = normalizeVersion(thanVersion);
    const std::string zero = "0";
    for (std::size_t i = 0; i < std::max(a.size(), b.size()); ++i) {
        const int order = compareNumbers(i < a.size() ? a[i] : zero, i < b.size() ? b[i] : zero);
        if (order != 0) return order > 0;
    }
    return candidateBuild && currentBuild && *candidateBuild > *currentBuild;
}

std::string sha256Hex(std::string_view bytes) {
    std::array<unsigned char, EVP_MAX_MD_SIZE> digest{};
    unsigned int length = 0;
    EVP_Digest(bytes.data(), bytes.size(), digest.data(), &length, EVP_sha256(), nullptr);
    static constexpr char hex[] = "0123456789abcdef";
    std::string text;
    text.reserve(2 * length);
    for (unsigned int i = 0; i < length; ++i) {
        text.push_back(hex[digest[i] >> 4]);
        text.push_back(hex[digest[i] & 0xF]);
    }
    return text;
}

std::optional<std::string> sha256InNotes(std::string_view notes) {
    const std::string lower = lowered(notes);
    for (std::size_t at = lower.find("sha256"); at != std::string::npos; at = lower.find("sha256", at + 1)) {
        std::size_t i = at + 6;
        while (i < lower.size() && isRegexBlank(lower[i])) ++i;
        if (i >= lower.size() || (lower[i] != ':' && lower[i] != '=')) continue;
        ++i;
        while (i < lower.size() && isRegexBlank(lower[i])) ++i;
        if (lower.size() - i < 64) continue;
        if (std::all_of(lower.begin() + static_cast<std::ptrdiff_t>(i),
                        lower.begin() + static_cast<std::ptrdiff_t>(i + 64), isHexDigit)) {
            return lower.substr(i, 64);
        }
    }
    return std::nullopt;
}

}  // namespace ostrel::ReleaseFeed
