#include "testsupport/UpdateFixtures.h"

#include "core/update/ReleaseFeed.h"

#include <archive.h>
#include <archive_entry.h>
#include <openssl/evp.h>

#include <sys/stat.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <stdexcept>

namespace ostrel::test {

struct TestSigningKey::Impl {
    EVP_PKEY* key = nullptr;
};

TestSigningKey::TestSigningKey() : impl_(std::make_unique<Impl>()) {
    impl_->key = EVP_PKEY_Q_keygen(nullptr, nullptr, "ED25519");
    if (impl_->key == nullptr) throw std::runtime_error("Ed25519 key generation failed");
    std::size_t length = publicKey_.raw.size();
    EVP_PKEY_get_raw_public_key(impl_->key, publicKey_.raw.data(), &length);
}

TestSigningKey::~TestSigningKey() { EVP_PKEY_free(impl_->key); }

std::string TestSigningKey::sign(std::string_view bytes) const {
    EVP_MD_CTX* context = EVP_MD_CTX_new();
    std::string signature(64, '\0');
    std::size_t length = signature.size();
    EVP_DigestSignInit(context, nullptr, nullptr, nullptr, impl_->key);
    EVP_DigestSign(context, reinterpret_cast<unsigned char*>(signature.data()), &length,
                   reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
    EVP_MD_CTX_free(context);
    return base64(signature);
}

std::string base64(std::string_view bytes) {
    std::string text(4 * ((bytes.size() + 2) / 3) + 1, '\0');
    const int length =
        EVP_EncodeBlock(reinterpret_cast<unsigned char*>(text.data()),
                        reinterpret_cast<const unsigned char*>(bytes.data()), static_cast<int>(bytes.size()));
    text.resize(static_cast<std::size_t>(length));
    return text;
}

namespace {

la_ssize_t appendToString(archive*, void* context, const void* buffer, std::size_t length) {
    static_cast<std::string*>(context)->append(static_cast<const char*>(buffer), length);
    return static_cast<la_ssize_t>(length);
}

std::uint32_t readU32(const std::string& bytes, std::size_t at) {
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i)
        value = (value << 8) | static_cast<unsigned char>(bytes[at + static_cast<std::size_t>(i)]);
    return value;
}
std::uint16_t readU16(const std::string& bytes, std::size_t at) {
    return static_cast<std::uint16_t>(static_cast<unsigned char>(bytes[at]) |
                                      (static_cast<unsigned char>(bytes[at + 1]) << 8));
}
void writeU32(std::string& bytes, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes[at + static_cast<std::size_t>(i)] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

/// Rewrites one entry's central directory record (the table that the reader trusts).
void patchCentralRecord(std::string& zip, const ZipEntry& entry) {
    for (std::size_t at = zip.find("PK\x01\x02"); at != std::string::npos; at = zip.find("PK\x01\x02", at + 4)) {
        const std::uint16_t nameLength = readU16(zip, at + 28);
        if (zip.compare(at + 46, nameLength, entry.path) != 0) continue;
        if (entry.rawUnixMode) writeU32(zip, at + 38, *entry.rawUnixMode << 16);
        (void)readU32;
        return;
    }
    throw std::runtime_error("no central record for " + entry.path);
}

}  // namespace

std::string makeZip(const std::vector<ZipEntry>& entries) {
    std::string zip;
    archive* writer = archive_write_new();
    archive_write_set_format_zip(writer);
    archive_write_set_bytes_in_last_block(writer, 1);
    archive_write_open(writer, &zip, nullptr, appendToString, nullptr);
    for (const ZipEntry& item : entries) {
        archive_entry* entry = archive_entry_new();
        archive_entry_set_pathname(entry, item.path.c_str());
        archive_entry_set_mtime(entry, 1700000000, 0);
        switch (item.kind) {
            case ZipEntry::Kind::file:
                archive_entry_set_filetype(entry, AE_IFREG);
                archive_entry_set_size(entry, item.declaredSize.value_or(static_cast<la_int64_t>(item.content.size())));
                break;
            case ZipEntry::Kind::directory:
                archive_entry_set_filetype(entry, AE_IFDIR);
                break;
            case ZipEntry::Kind::symlink:
                archive_entry_set_filetype(entry, AE_IFLNK);
                archive_entry_set_symlink(entry, item.content.c_str());
                break;
        }
        archive_entry_set_perm(entry, item.mode);
        if (archive_write_header(writer, entry) != ARCHIVE_OK) {
            throw std::runtime_error(std::string("zip header: ") + archive_error_string(writer));
        }
        if (item.kind == ZipEntry::Kind::file) archive_write_data(writer, item.content.data(), item.content.size());
        archive_entry_free(entry);
    }
    archive_write_close(writer);
    archive_write_free(writer);
    for (const ZipEntry& item : entries) {
        if (item.rawUnixMode) patchCentralRecord(zip, item);
    }
    return zip;
}

std::vector<ZipEntry> installTreeEntries(const std::string& top, const BundleMarker& marker,
                                         const std::string& programText) {
    using Kind = ZipEntry::Kind;
    return {
        {top + "/", Kind::directory, "", 0755},
        {top + "/bin/", Kind::directory, "", 0755},
        {top + "/bin/Ostrel", Kind::file, "#!/bin/sh\n" + programText + "\n", 0755},
        {top + "/lib/", Kind::directory, "", 0755},
        {top + "/lib/libostrel.so.1", Kind::file, "library bytes", 0644},
        {top + "/lib/libostrel.so", Kind::symlink, "libostrel.so.1", 0777},
        {top + "/share/ostrel/bundle.json", Kind::file, InstallTree::markerText(marker), 0644},
    };
}

void writeInstallTree(const std::filesystem::path& root, const BundleMarker& marker, const std::string& programText) {
    for (const ZipEntry& entry : installTreeEntries("", marker, programText)) {
        const auto path = root / entry.path.substr(1);
        switch (entry.kind) {
            case ZipEntry::Kind::directory:
                std::filesystem::create_directories(path);
                break;
            case ZipEntry::Kind::symlink:
                std::filesystem::create_directories(path.parent_path());
                std::filesystem::create_symlink(entry.content, path);
                break;
            case ZipEntry::Kind::file: {
                std::filesystem::create_directories(path.parent_path());
                std::ofstream(path, std::ios::binary) << entry.content;
                ::chmod(path.c_str(), entry.mode);
                break;
            }
        }
    }
}

std::string treeDigest(const std::filesystem::path& root) {
    std::map<std::string, std::string> records;
    for (auto it = std::filesystem::recursive_directory_iterator(root);
         it != std::filesystem::recursive_directory_iterator(); ++it) {
        const auto& path = it->path();
        struct stat info {};
        ::lstat(path.c_str(), &info);
        std::string record = std::to_string(info.st_mode) + ":";
        if (S_ISLNK(info.st_mode)) {
            record += std::filesystem::read_symlink(path).string();
        } else if (S_ISREG(info.st_mode)) {
            std::ifstream in(path, std::ios::binary);
            record += std::string(std::istreambuf_iterator<char>(in), {});
        }
        records[std::filesystem::relative(path, root).string()] = record;
    }
    std::string all;
    for (const auto& [name, record] : records) all += name + "\n" + record + "\n";
    return ReleaseFeed::sha256Hex(all);
}

std::vector<std::string> entryNames(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace ostrel::test
