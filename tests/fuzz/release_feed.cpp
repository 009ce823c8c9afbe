// A release feed's bytes through the reader (a manifest, possibly nested under the bundle identifier
// or the application's name, or a release object with assets), then the version comparison and the
// digest search the updater runs on what it read. Bad feeds throw; none may crash or hang.
#include "core/update/ReleaseFeed.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <exception>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace ostrel;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    try {
        const ReleaseInfo release = ReleaseFeed::parseRelease(bytes, "app.ostrel.Ostrel", "Ostrel", "x86_64");
        if (release.downloadURL.empty() || !ReleaseFeed::parsesAsURL(release.downloadURL)) std::abort();
        (void)ReleaseFeed::isNewer(release.version, release.build, "1.0", 1);
        if (release.notesEN) (void)ReleaseFeed::sha256InNotes(*release.notesEN);
        (void)release.localizedNotes();
    } catch (const std::exception&) {
        // a clear error: what every bad feed must give
    }
    return 0;
}
