// The routes of the local HTTP API under /v1/: state, help, plotter SVG,
// snapshot, open, params, export, reset and the plotter's status and commands.
// Runs on the main thread, once per request.
#pragma once

#include "core/http/HTTPMessage.h"

namespace ostrel {

class RemoteControl;

/// The answer to one request about the endpoints' document; unknown method/path pairs answer 404,
/// and every request answers 503 once the document is gone.
[[nodiscard]] HTTPResponse dispatchHTTPRequest(RemoteControl& remote, const HTTPRequest& request);

}  // namespace ostrel
