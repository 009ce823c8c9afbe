// Test helper: runs a program with arguments and captures its output.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace ostrel::test {

struct ProcessResult {
    int exitCode = -1;  // -1 when it did not exit normally
    std::string out;
    std::string err;
};

/// Runs `program` with `arguments` (without the program itself), `extraEnvironment` added to the
/// current environment, in `workingDirectory` when not empty. Standard input is /dev/null.
ProcessResult runProcess(const std::string& program, const std::vector<std::string>& arguments,
                         const std::map<std::string, std::string>& extraEnvironment = {},
                         const std::string& workingDirectory = {});

/// Runs `argv` (argv[0] looked up in PATH) with standard input from /dev/null.
ProcessResult runProcess(const std::vector<std::string>& argv);

/// A fresh empty temporary folder, removed by the destructor.
class TemporaryFolder {
public:
    TemporaryFolder();
    ~TemporaryFolder();
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;
    [[nodiscard]] const std::string& path() const noexcept { return path_; }
    [[nodiscard]] std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

std::string readFile(const std::string& path);

}  // namespace ostrel::test
