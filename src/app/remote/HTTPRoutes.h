// The routes of the local HTTP API under /v1/: state, help, plotter SVG,
// snapshot, open, params, export, reset and the plotter's status and commands.
// Runs on the main thread, once per request.
#pragma once

#include "core/http/HTTPMessage.h"

namespace ostrel {

class VectorizerController;

/// The answer to one request; unknown method/path pairs answer 404.
[[nodiscard]] HTTPResponse dispatchHTTPRequest(VectorizerController& controller, const HTTPRequest& request);

}  // namespace ostrel
