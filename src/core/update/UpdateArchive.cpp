#include "core/update/UpdateArchive.h"

#include "core/model/Localization.h"
#include "core/support/system/Error.h"
#include "core/update/ReleaseInfo.h"

#include <archive.h>
#include <archive_entry.h>
#include <fmt/format.h>

#include <memory>
#include <string>
#include <vector>

namespace ostrel {

namespace {

struct ReadDeleter {
    void operator()(archive* a) const noexcept { archive_read_free(a); }
};
struct WriteDeleter {
    void operator()(archive* a) const noexcept { archive_write_free(a); }
};
using ArchiveReader = std::unique_ptr<archive, ReadDeleter>;
using DiskWriter = std::unique_ptr<archive, WriteDeleter>;

[[noreturn]] void failArchive(archive* a) {
    const char* text = archive_error_string(a);
    throw Error("archive", archive_errno(a), text != nullptr ? text : "archive error");
}

/// An entry name fit to show: control characters become "?", long names are cut.
std::string shown(std::string_view name) {
    std::string out;
    for (const char c : name.substr(0, 200)) {
        const auto byte = static_cast<unsigned char>(c);
        out.push_back(byte < 0x20 || byte == 0x7f ? '?' : c);
    }
    return name.size() > 200 ? out + "…" : out;
}

[[noreturn]] void refuse(std::string_view name, std::string_view whyFR, std::string_view whyEN) {
    throw UpdateError::make(UpdateError::archiveRefused,
                            L(fmt::format("Archive de mise à jour refusée : « {} » {}.", shown(name), whyFR),
                              fmt::format("Update archive refused: \"{}\" {}.", shown(name), whyEN)));
}

/// The path's components; an empty list for a path that is not a plain relative path.
std::vector<std::string_view> plainComponents(std::string_view path) {
    std::vector<std::string_view> parts;
    if (path.empty() || path.front() == '/') return {};
    if (path.back() == '/') path.remove_suffix(1);
    while (true) {
        const auto slash = path.find('/');
        const std::string_view part = path.substr(0, slash);
        if (part.empty() || part == "." || part == "..") return {};
        parts.push_back(part);
        if (slash == std::string_view::npos) break;
        path.remove_prefix(slash + 1);
    }
    return parts;
}

bool hasControlCharacter(std::string_view text) {
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7f) return true;
    }
    return false;
}

/// True when a symbolic link at `linkParts` pointing to `target` stays under its first component.
bool linkStaysInside(const std::vector<std::string_view>& linkParts, std::string_view target) {
    if (target.empty() || target.front() == '/') return false;
    std::vector<std::string_view> resolved(linkParts.begin(), linkParts.end() - 1);
    while (!target.empty()) {
        const auto slash = target.find('/');
        const std::string_view part = target.substr(0, slash);
        target = slash == std::string_view::npos ? std::string_view() : target.substr(slash + 1);
        if (part.empty() || part == ".") continue;
        if (part == "..") {
            if (resolved.size() <= 1) return false;  // would leave the top-level folder
            resolved.pop_back();
        } else {
            resolved.push_back(part);
        }
    }
    return true;
}

ArchiveReader openReader(const std::filesystem::path& file) {
    ArchiveReader reader(archive_read_new());
    if (!reader) throw Error("archive", 0, "cannot create an archive reader");
    archive_read_support_format_zip_seekable(reader.get());
    if (archive_read_open_filename(reader.get(), file.c_str(), 1 << 16) != ARCHIVE_OK) failArchive(reader.get());
    return reader;
}

/// Whether one entry may be written; refuses it otherwise. Returns true when it lies under `topLevel`.
bool checkEntry(archive_entry* entry, std::string_view topLevel) {
    const char* rawName = archive_entry_pathname(entry);
    const std::string_view name = rawName != nullptr ? rawName : "";
    if (hasControlCharacter(name)) refuse(name, "contient un caractère de contrôle", "holds a control character");
    const auto parts = plainComponents(name);
    if (parts.empty()) refuse(name, "n'est pas un chemin relatif simple", "is not a plain relative path");
    if (archive_entry_is_encrypted(entry)) refuse(name, "est chiffré", "is encrypted");
    if (archive_entry_hardlink(entry) != nullptr) refuse(name, "est un lien physique", "is a hard link");
    if ((archive_entry_perm(entry) & 07000) != 0) {
        refuse(name, "a les bits setuid, setgid ou sticky", "has the setuid, setgid or sticky bit");
    }
    switch (archive_entry_filetype(entry)) {
        case AE_IFREG:
        case AE_IFDIR:
            break;
        case AE_IFLNK: {
            const char* target = archive_entry_symlink(entry);
            if (target == nullptr || hasControlCharacter(target) || !linkStaysInside(parts, target)) {
                refuse(name, "est un lien qui sort de l'arborescence", "is a link leaving the tree");
            }
            break;
        }
        default:
            refuse(name, "n'est ni un fichier, ni un dossier, ni un lien", "is neither a file, a folder nor a link");
    }
    return parts.front() == topLevel;
}

[[noreturn]] void refuseSize(std::uint64_t limit) {
    throw UpdateError::make(
        UpdateError::archiveRefused,
        L(fmt::format("Archive de mise à jour refusée : elle dépasse {} octets une fois décompressée.", limit),
          fmt::format("Update archive refused: it unpacks to more than {} bytes.", limit)));
}

void throwIfCancelled(const std::atomic<bool>* cancel) {
    if (cancel != nullptr && cancel->load()) throw UpdateError::make(UpdateError::installFailed, "cancelled");
}

/// First pass: headers only. Every entry must be acceptable, at least one under `topLevel`, and
/// nothing may lie beside it.
void checkAllEntries(const std::filesystem::path& file, std::string_view topLevel, const ArchiveLimits& limits,
                     const std::atomic<bool>* cancel) {
    ArchiveReader reader = openReader(file);
    std::uint64_t entries = 0;
    std::uint64_t declaredBytes = 0;
    bool foundTree = false;
    std::string besideTree;
    archive_entry* entry = nullptr;
    for (;;) {
        const int status = archive_read_next_header(reader.get(), &entry);
        if (status == ARCHIVE_EOF) break;
        if (status < ARCHIVE_WARN) failArchive(reader.get());
        throwIfCancelled(cancel);
        if (++entries > limits.maxEntries) {
            throw UpdateError::make(
                UpdateError::archiveRefused,
                L(fmt::format("Archive de mise à jour refusée : plus de {} entrées.", limits.maxEntries),
                  fmt::format("Update archive refused: more than {} entries.", limits.maxEntries)));
        }
        if (checkEntry(entry, topLevel)) {
            foundTree = true;
        } else if (besideTree.empty()) {
            besideTree = archive_entry_pathname(entry);
        }
        if (archive_entry_size_is_set(entry)) {
            const auto size = static_cast<std::uint64_t>(std::max<la_int64_t>(0, archive_entry_size(entry)));
            if (size > limits.maxTotalBytes - declaredBytes) refuseSize(limits.maxTotalBytes);
            declaredBytes += size;
        }
    }
    if (!foundTree) throw UpdateError::noInstallTreeError();
    if (!besideTree.empty())
        refuse(besideTree, "est à côté de l'arborescence d'installation", "lies beside the install tree");
}

void copyData(archive* reader, archive* writer, std::uint64_t& written, const ArchiveLimits& limits,
              const std::atomic<bool>* cancel) {
    const void* block = nullptr;
    std::size_t size = 0;
    la_int64_t offset = 0;
    for (;;) {
        const int status = archive_read_data_block(reader, &block, &size, &offset);
        if (status == ARCHIVE_EOF) return;
        if (status < ARCHIVE_WARN) failArchive(reader);
        throwIfCancelled(cancel);
        if (size > limits.maxTotalBytes - written) refuseSize(limits.maxTotalBytes);
        written += size;
        if (archive_write_data_block(writer, block, size, offset) < ARCHIVE_WARN) failArchive(writer);
    }
}

}  // namespace

void extractInstallTree(const std::filesystem::path& file, const std::filesystem::path& destination,
                        std::string_view topLevel, const ArchiveLimits& limits, const std::atomic<bool>* cancel) {
    checkAllEntries(file, topLevel, limits, cancel);

    ArchiveReader reader = openReader(file);
    DiskWriter writer(archive_write_disk_new());
    if (!writer) throw Error("archive", 0, "cannot create an archive writer");
    // Names are joined to the folder's canonical absolute path (no link on the way, so the symlink
    // check holds from the root); the archive's own names were refused above when absolute, which is
    // why the absolute-path flag, which would refuse our own prefix, is not set.
    archive_write_disk_set_options(writer.get(), ARCHIVE_EXTRACT_SECURE_NODOTDOT | ARCHIVE_EXTRACT_SECURE_SYMLINKS |
                                                     ARCHIVE_EXTRACT_PERM | ARCHIVE_EXTRACT_TIME |
                                                     ARCHIVE_EXTRACT_NO_OVERWRITE);
    const std::filesystem::path root = std::filesystem::canonical(destination);
    std::uint64_t written = 0;
    archive_entry* entry = nullptr;
    for (;;) {
        const int status = archive_read_next_header(reader.get(), &entry);
        if (status == ARCHIVE_EOF) break;
        if (status < ARCHIVE_WARN) failArchive(reader.get());
        throwIfCancelled(cancel);
        // The same rule as the first pass: what is written is what was checked.
        if (!checkEntry(entry, topLevel))
            refuse(archive_entry_pathname(entry), "est à côté de l'arborescence d'installation",
                   "lies beside the install tree");
        const std::string target = (root / archive_entry_pathname(entry)).string();
        archive_entry_copy_pathname(entry, target.c_str());
        archive_entry_set_uid(entry, 0);
        archive_entry_set_gid(entry, 0);
        const auto type = archive_entry_filetype(entry);
        if (type == AE_IFDIR) {
            archive_entry_set_perm(entry, 0755);
        } else if (type == AE_IFREG) {
            archive_entry_set_perm(entry, (archive_entry_perm(entry) & 0111) != 0 ? 0755 : 0644);
        }
        if (archive_write_header(writer.get(), entry) < ARCHIVE_WARN) failArchive(writer.get());
        if (type == AE_IFREG) copyData(reader.get(), writer.get(), written, limits, cancel);
        if (archive_write_finish_entry(writer.get()) < ARCHIVE_WARN) failArchive(writer.get());
    }
    if (archive_write_close(writer.get()) != ARCHIVE_OK) failArchive(writer.get());
}

}  // namespace ostrel
