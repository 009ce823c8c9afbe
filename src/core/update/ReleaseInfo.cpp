#include "core/update/ReleaseInfo.h"

#include "core/model/Localization.h"

#include <fmt/format.h>

namespace ostrel {

namespace {

bool present(const std::optional<std::string>& text) { return text.has_value() && !text->empty(); }

std::string firstCharacters(std::string_view digest) { return std::string(digest.substr(0, 10)); }

}  // namespace

std::string ReleaseInfo::localizedNotes() const {
    const bool english = Localization::isEnglish();
    const auto& own = english ? notesEN : notesFR;
    const auto& other = english ? notesFR : notesEN;
    if (present(own)) return *own;
    if (present(other)) return *other;
    return L("Mise à jour de maintenance et d'améliorations.", "Maintenance and feature update.");
}

namespace UpdateError {

Error make(Code code, const std::string& message) { return Error(std::string(domain), code, message); }

Error invalidJSONError() {
    return make(invalidJSON, L("Réponse JSON de mise à jour invalide.", "Invalid update JSON response."));
}

Error noArchiveError() {
    return make(noArchive, L("Aucune archive .zip de mise à jour trouvée.", "No update .zip archive found."));
}

Error incompleteManifestError() {
    return make(incompleteManifest, L("Manifeste de mise à jour incomplet.", "Incomplete update manifest."));
}

Error checksumMismatchError(std::string_view expected, std::string_view computed) {
    const std::string e = firstCharacters(expected);
    const std::string c = firstCharacters(computed);
    return make(checksumMismatch, L(fmt::format("Empreinte SHA-256 invalide (attendu {}…, reçu {}…).", e, c),
                                    fmt::format("SHA-256 checksum mismatch (expected {}…, got {}…).", e, c)));
}

Error missingChecksumError() {
    return make(checksumMismatch, L("La mise à jour ne donne pas d'empreinte SHA-256 : installation refusée.",
                                    "The update gives no SHA-256 checksum: install refused."));
}

Error noInstallTreeError() {
    return make(noInstallTree,
                L("Aucune arborescence d'installation trouvée dans l'archive.", "No install tree found in archive."));
}

Error signingKeyMismatchError(std::string_view trustedKeyIDs) {
    return make(signingKey, L(fmt::format("Clé de signature différente (inconnue ≠ {}).", trustedKeyIDs),
                              fmt::format("Signing key mismatch (unknown ≠ {}).", trustedKeyIDs)));
}

Error missingSignatureError() {
    return make(signingKey, L("La mise à jour n'est pas signée : installation refusée.",
                              "The update is not signed: install refused."));
}

Error noTrustedKeyError() {
    return make(signingKey,
                L("Cette version d'Ostrel ne contient aucune clé de signature des mises à jour : elle ne peut pas "
                  "en installer.",
                  "This build of Ostrel holds no update signing key: it cannot install updates."));
}

Error httpStatusError(long status) {
    return make(httpStatus, L(fmt::format("Le serveur de mises à jour a répondu HTTP {}.", status),
                              fmt::format("The update server answered HTTP {}.", status)));
}

Error tooLargeError(std::uint64_t limitBytes) {
    constexpr std::uint64_t mebibyte = 1024 * 1024;
    if (limitBytes >= mebibyte && limitBytes % mebibyte == 0) {
        return make(tooLarge, L(fmt::format("Le téléchargement dépasse la limite de {} Mio.", limitBytes / mebibyte),
                                fmt::format("The download exceeds the limit of {} MiB.", limitBytes / mebibyte)));
    }
    return make(tooLarge, L(fmt::format("Le téléchargement dépasse la limite de {} octets.", limitBytes),
                            fmt::format("The download exceeds the limit of {} bytes.", limitBytes)));
}

}  // namespace UpdateError

}  // namespace ostrel
