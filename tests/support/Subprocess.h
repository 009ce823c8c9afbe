// Test helper: runs a peer program (curl, oscsend) and collects its output.
#pragma once

#include <string>
#include <vector>

namespace ostrel::test {

struct ProcessResult {
    int exitCode = -1;  ///< exit status, or -1 when it could not run or was killed
    std::string out;    ///< standard output
    std::string err;    ///< standard error
};

/// Runs `argv` (argv[0] looked up in PATH) with standard input from /dev/null.
ProcessResult runProcess(const std::vector<std::string>& argv);

}  // namespace ostrel::test
