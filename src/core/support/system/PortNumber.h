// The ports of the remote interfaces and port numbers read from the environment.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace ostrel {

/// A whole text read as a decimal 16-bit unsigned number: an optional "+"
/// (or "-" with a zero value), then digits only. "+8080" gives 8080; "8080 ",
/// "70000", "-1" and "" give none.
[[nodiscard]] std::optional<std::uint16_t> parsePortNumber(std::string_view text) noexcept;

/// The environment variable `name` read by parsePortNumber, else `fallback`.
[[nodiscard]] std::uint16_t portFromEnvironment(const char* name, std::uint16_t fallback) noexcept;

/// Where the OSC interface listens (UDP) and the HTTP API answers (TCP, loopback) by default.
inline constexpr std::uint16_t kOstrelDefaultOSCInPort = 9140;
inline constexpr std::uint16_t kOstrelDefaultHTTPPort = 17940;

/// OSTREL_OSC_IN_PORT when it reads as a decimal 16-bit unsigned number, else 9140.
[[nodiscard]] std::uint16_t oscInPortFromEnvironment() noexcept;
/// OSTREL_API_PORT when it reads as a decimal 16-bit unsigned number, else 17940.
[[nodiscard]] std::uint16_t apiPortFromEnvironment() noexcept;

}  // namespace ostrel
