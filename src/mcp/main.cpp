// ostrel-mcp: an MCP server on standard input and output that forwards each tool call to the
// running Ostrel application's HTTP API on 127.0.0.1. No arguments; exits 0 at end of input.
#include "mcp/APITransport.h"
#include "mcp/OstrelMCPServer.h"

#include <csignal>
#include <cstdlib>
#include <map>
#include <string>

int main() {
    // A client that goes away must not kill the bridge mid-write; write() then fails with EPIPE.
    std::signal(SIGPIPE, SIG_IGN);

    std::map<std::string, std::string> environment;
    if (const char* port = std::getenv("OSTREL_API_PORT")) environment["OSTREL_API_PORT"] = port;
    const std::string base = ostrel::mcp::apiBaseURL(environment);

    ostrel::mcp::OstrelMCPServer server(ostrel::mcp::urlSessionTransport(base, 30.0), base, OSTREL_MCP_VERSION);
    server.run();
    return 0;
}
