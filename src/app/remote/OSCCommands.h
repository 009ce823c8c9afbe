// The 23 OSC addresses under /ostrel/, acted on through the document's public operations.
// One-way: nothing is ever answered, and a message that does not apply has no effect.
#pragma once

#include "core/osc/OSCCodec.h"

#include <optional>
#include <string>

namespace ostrel {

class PlottingService;
class VectorizerController;

/// Acts on one message (address compared after lower-casing). Main thread.
void applyOSCCommand(VectorizerController& document, PlottingService* plotting, const OSCCodec::Message& message);

/// The parameter a message sets when setting it is all the message does (its lower-cased
/// address): a later such message for the same parameter supersedes it. None for other messages.
[[nodiscard]] std::optional<std::string> oscParameterKey(const OSCCodec::Message& message);

}  // namespace ostrel
