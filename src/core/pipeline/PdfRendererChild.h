// The PDF renderer child's command line and bounds (see PdfPage.h), without Qt: the program's own
// entry, which links no Qt, recognises the child by them.
#pragma once

#include <chrono>
#include <cstdint>
#include <string_view>

namespace ostrel::PdfPage {

/// The first argument that makes a program the renderer child; the size follows it.
inline constexpr std::string_view kRendererArgument = "--render-pdf-page";

/// The longest a page may take to render, start of the child included.
inline constexpr std::chrono::milliseconds kRenderTimeLimit{10'000};

/// The data memory the renderer child may allocate.
inline constexpr std::int64_t kRendererMemoryBytes = std::int64_t{384} * 1024 * 1024;

}  // namespace ostrel::PdfPage
