#include "core/update/UpdateDownload.h"

#include "core/support/system/Error.h"
#include "core/support/system/FileDescriptor.h"
#include "core/update/ReleaseInfo.h"

#include <curl/curl.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <exception>
#include <memory>
#include <mutex>

namespace ostrel {

namespace {

void initialiseCurlOnce() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct CurlDeleter {
    void operator()(CURL* handle) const noexcept { curl_easy_cleanup(handle); }
};
struct HeaderListDeleter {
    void operator()(curl_slist* list) const noexcept { curl_slist_free_all(list); }
};

/// What the callbacks share with the call that runs the transfer.
struct Transfer {
    CURL* handle = nullptr;
    const std::function<void(std::string_view)>* sink = nullptr;
    const std::atomic<bool>* cancel = nullptr;
    const FetchProgress* progress = nullptr;
    std::uint64_t maxBytes = 0;
    std::uint64_t received = 0;
    long refusedStatus = 0;  // an HTTP status outside 2xx: the body is not wanted
    bool overCap = false;
    std::exception_ptr sinkError;
};

bool isSuccess(long status) { return status == 0 || (status >= 200 && status <= 299); }

std::size_t onBody(char* data, std::size_t size, std::size_t count, void* context) {
    auto& transfer = *static_cast<Transfer*>(context);
    const std::size_t length = size * count;
    long status = 0;
    curl_easy_getinfo(transfer.handle, CURLINFO_RESPONSE_CODE, &status);
    if (!isSuccess(status)) {
        transfer.refusedStatus = status;
        return CURL_WRITEFUNC_ERROR;
    }
    if (length > transfer.maxBytes - transfer.received) {
        transfer.overCap = true;
        return CURL_WRITEFUNC_ERROR;
    }
    try {
        (*transfer.sink)(std::string_view(data, length));
    } catch (...) {
        transfer.sinkError = std::current_exception();
        return CURL_WRITEFUNC_ERROR;
    }
    transfer.received += length;
    return length;
}

int onProgress(void* context, curl_off_t expected, curl_off_t, curl_off_t, curl_off_t) {
    auto& transfer = *static_cast<Transfer*>(context);
    if (transfer.cancel != nullptr && transfer.cancel->load()) return 1;
    if (expected > 0 && static_cast<std::uint64_t>(expected) > transfer.maxBytes) {
        transfer.overCap = true;
        return 1;
    }
    if (transfer.progress != nullptr && *transfer.progress) {
        (*transfer.progress)(transfer.received, expected > 0 ? static_cast<std::uint64_t>(expected) : 0);
    }
    return 0;
}

}  // namespace

FetchResult fetch(const FetchRequest& request, const std::function<void(std::string_view)>& sink,
                  const std::atomic<bool>* cancel, const FetchProgress& progress) {
    initialiseCurlOnce();
    const std::unique_ptr<CURL, CurlDeleter> handle(curl_easy_init());
    if (!handle) throw Error("curl", CURLE_FAILED_INIT, curl_easy_strerror(CURLE_FAILED_INIT));
    CURL* curl = handle.get();

    std::unique_ptr<curl_slist, HeaderListDeleter> headers;
    auto addHeader = [&](const std::string& line) {
        curl_slist* grown = curl_slist_append(headers.get(), line.c_str());
        if (grown == nullptr) throw Error("curl", CURLE_OUT_OF_MEMORY, curl_easy_strerror(CURLE_OUT_OF_MEMORY));
        (void)headers.release();
        headers.reset(grown);
    };
    for (const auto& line : request.headers) addHeader(line);
    if (request.bypassCaches) {
        addHeader("Cache-Control: no-cache");
        addHeader("Pragma: no-cache");
    }

    Transfer transfer;
    transfer.handle = curl;
    transfer.sink = &sink;
    transfer.cancel = cancel;
    transfer.progress = &progress;
    transfer.maxBytes = request.limits.maxBytes;

    const long stallSeconds = std::max<long>(1, static_cast<long>((request.limits.stallTimeout.count() + 999) / 1000));
    char errorText[CURL_ERROR_SIZE] = {};
    curl_easy_setopt(curl, CURLOPT_URL, request.url.c_str());
    curl_easy_setopt(curl, CURLOPT_HTTPGET, 1L);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https,file");
    curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(curl, CURLOPT_MAXREDIRS, 10L);
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers.get());
    curl_easy_setopt(curl, CURLOPT_ACCEPT_ENCODING, "");
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(request.limits.stallTimeout.count()));
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, static_cast<long>(request.limits.totalTimeout.count()));
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, stallSeconds);
    curl_easy_setopt(curl, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(request.limits.maxBytes));
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, onBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &transfer);
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, onProgress);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &transfer);
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, errorText);

    const CURLcode code = curl_easy_perform(curl);
    if (transfer.sinkError) std::rethrow_exception(transfer.sinkError);
    if (transfer.refusedStatus != 0) return {transfer.refusedStatus, 0};
    if (transfer.overCap || code == CURLE_FILESIZE_EXCEEDED) throw UpdateError::tooLargeError(request.limits.maxBytes);
    if (code != CURLE_OK) {
        std::string message = errorText[0] != '\0' ? std::string(errorText) : std::string(curl_easy_strerror(code));
        throw Error("curl", static_cast<int>(code), message);
    }
    long status = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    return {status, transfer.received};
}

FetchResult fetchToString(const FetchRequest& request, std::string& body, const std::atomic<bool>* cancel) {
    body.clear();
    return fetch(
        request, [&body](std::string_view bytes) { body.append(bytes); }, cancel);
}

FetchResult fetchToFile(const FetchRequest& request, const std::filesystem::path& file, const std::atomic<bool>* cancel,
                        const FetchProgress& progress) {
    FileDescriptor out(::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600));
    if (!out.valid()) throw Error("file", errno, std::strerror(errno));
    const auto writeAll = [&out](std::string_view bytes) {
        while (!bytes.empty()) {
            const ssize_t written = ::write(out.get(), bytes.data(), bytes.size());
            if (written < 0 && errno == EINTR) continue;
            if (written <= 0) throw Error("file", errno, std::strerror(errno));
            bytes.remove_prefix(static_cast<std::size_t>(written));
        }
    };
    const FetchResult result = fetch(request, writeAll, cancel, progress);
    if (::fsync(out.get()) != 0) throw Error("file", errno, std::strerror(errno));
    return result;
}

}  // namespace ostrel
