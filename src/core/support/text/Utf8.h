// UTF-8 repair for text that arrives from the network.
#pragma once

#include <string>
#include <string_view>

namespace ostrel {

/// `bytes` as valid UTF-8: each maximal ill-formed subsequence becomes U+FFFD
/// (Unicode 15, section 3.9, "U+FFFD Substitution of Maximal Subparts").
/// Linear time; returns the input unchanged when it is already valid.
[[nodiscard]] std::string lossyUtf8(std::string_view bytes);

}  // namespace ostrel
