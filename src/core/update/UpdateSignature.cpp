#include "core/update/UpdateSignature.h"

#include "core/support/system/Error.h"
#include "core/support/system/FileDescriptor.h"
#include "core/support/text/Base64.h"
#include "core/update/ReleaseFeed.h"
#include "core/update/ReleaseInfo.h"

#include <openssl/evp.h>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

#ifndef OSTREL_UPDATE_PUBLIC_KEYS
#define OSTREL_UPDATE_PUBLIC_KEYS ""
#endif

namespace ostrel {

namespace {

// DER prefix of an Ed25519 SubjectPublicKeyInfo (RFC 8410): SEQUENCE { SEQUENCE { OID 1.3.101.112 },
// BIT STRING of 33 bytes }, followed by the 32 raw key bytes.
constexpr std::array<unsigned char, 12> ed25519InfoPrefix{0x30, 0x2a, 0x30, 0x05, 0x06, 0x03,
                                                          0x2b, 0x65, 0x70, 0x03, 0x21, 0x00};

constexpr std::string_view blanks = " \t\n\r\v\f";

std::string_view trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(blanks);
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

[[noreturn]] void failFile(const std::filesystem::path& file) {
    const int code = errno;
    throw Error("file", code, std::string(std::strerror(code)) + ": " + file.string());
}

struct PKeyDeleter {
    void operator()(EVP_PKEY* key) const noexcept { EVP_PKEY_free(key); }
};
struct MDContextDeleter {
    void operator()(EVP_MD_CTX* context) const noexcept { EVP_MD_CTX_free(context); }
};

/// A read-only mapping of a whole file; Ed25519 needs the message at once, and mapping it keeps a
/// large archive out of the heap.
class MappedFile {
public:
    explicit MappedFile(const std::filesystem::path& file) {
        FileDescriptor fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
        struct stat info {};
        if (!fd.valid() || ::fstat(fd.get(), &info) != 0) failFile(file);
        size_ = static_cast<std::size_t>(info.st_size);
        if (size_ == 0) return;
        void* mapped = ::mmap(nullptr, size_, PROT_READ, MAP_PRIVATE, fd.get(), 0);
        if (mapped == MAP_FAILED) failFile(file);
        data_ = static_cast<const unsigned char*>(mapped);
    }
    ~MappedFile() {
        if (data_ != nullptr) ::munmap(const_cast<unsigned char*>(data_), size_);
    }
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;

    [[nodiscard]] const unsigned char* data() const noexcept { return data_ != nullptr ? data_ : &empty_; }
    [[nodiscard]] std::size_t size() const noexcept { return size_; }

private:
    const unsigned char* data_ = nullptr;
    std::size_t size_ = 0;
    unsigned char empty_ = 0;
};

bool verifies(const UpdateSigningKey& key, const std::string& signature, const MappedFile& message) {
    const std::unique_ptr<EVP_PKEY, PKeyDeleter> publicKey(
        EVP_PKEY_new_raw_public_key(EVP_PKEY_ED25519, nullptr, key.raw.data(), key.raw.size()));
    const std::unique_ptr<EVP_MD_CTX, MDContextDeleter> context(EVP_MD_CTX_new());
    if (!publicKey || !context) return false;
    if (EVP_DigestVerifyInit(context.get(), nullptr, nullptr, nullptr, publicKey.get()) != 1) return false;
    return EVP_DigestVerify(context.get(), reinterpret_cast<const unsigned char*>(signature.data()), signature.size(),
                            message.data(), message.size()) == 1;
}

}  // namespace

std::string UpdateSigningKey::identifier() const {
    const std::string digest =
        ReleaseFeed::sha256Hex(std::string_view(reinterpret_cast<const char*>(raw.data()), raw.size()));
    return digest.substr(0, 16);
}

std::optional<std::string> decodeBase64(std::string_view text) { return Base64::decode(trimmed(text)); }

std::vector<UpdateSigningKey> parseSigningKeys(std::string_view list) {
    std::vector<UpdateSigningKey> keys;
    while (!list.empty()) {
        const auto comma = list.find(',');
        const std::string_view item = trimmed(list.substr(0, comma));
        list = comma == std::string_view::npos ? std::string_view() : list.substr(comma + 1);
        if (item.empty()) continue;
        const auto bytes = decodeBase64(item);
        std::string_view raw;
        if (bytes && bytes->size() == 32) raw = *bytes;
        if (bytes && bytes->size() == ed25519InfoPrefix.size() + 32 &&
            std::equal(ed25519InfoPrefix.begin(), ed25519InfoPrefix.end(), bytes->begin())) {
            raw = std::string_view(*bytes).substr(ed25519InfoPrefix.size());
        }
        if (raw.empty()) {
            throw UpdateError::make(UpdateError::signingKey, "not an Ed25519 public key: " + std::string(item));
        }
        UpdateSigningKey key;
        std::copy(raw.begin(), raw.end(), key.raw.begin());
        keys.push_back(key);
    }
    return keys;
}

const std::vector<UpdateSigningKey>& builtInSigningKeys() {
    // The build checks the list's characters; a malformed key throws here, inside the install's own error path.
    static const std::vector<UpdateSigningKey> keys = parseSigningKeys(OSTREL_UPDATE_PUBLIC_KEYS);
    return keys;
}

std::string identifiersOf(const std::vector<UpdateSigningKey>& keys) {
    std::string text;
    for (const auto& key : keys) {
        if (!text.empty()) text += ", ";
        text += key.identifier();
    }
    return text;
}

std::string sha256HexOfFile(const std::filesystem::path& file) {
    FileDescriptor fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
    if (!fd.valid()) failFile(file);
    const std::unique_ptr<EVP_MD_CTX, MDContextDeleter> context(EVP_MD_CTX_new());
    if (!context || EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr) != 1) {
        throw Error("openssl", 0, "SHA-256 unavailable");
    }
    std::array<char, 1 << 16> buffer{};
    for (;;) {
        const ssize_t got = ::read(fd.get(), buffer.data(), buffer.size());
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) failFile(file);
        if (got == 0) break;
        EVP_DigestUpdate(context.get(), buffer.data(), static_cast<std::size_t>(got));
    }
    std::array<unsigned char, EVP_MAX_MD_SIZE> digest{};
    unsigned int length = 0;
    EVP_DigestFinal_ex(context.get(), digest.data(), &length);
    static constexpr char hex[] = "0123456789abcdef";
    std::string text;
    for (unsigned int i = 0; i < length; ++i) {
        text.push_back(hex[digest[i] >> 4]);
        text.push_back(hex[digest[i] & 0xF]);
    }
    return text;
}

std::optional<UpdateSigningKey> signingKeyOf(const std::filesystem::path& file, std::string_view signatureBase64,
                                             const std::vector<UpdateSigningKey>& trusted) {
    const auto signature = decodeBase64(signatureBase64);
    if (!signature || signature->size() != 64) return std::nullopt;
    const MappedFile message(file);
    for (const auto& key : trusted) {
        if (verifies(key, *signature, message)) return key;
    }
    return std::nullopt;
}

}  // namespace ostrel
