// Which run the command line asks for, decided before any application object exists.
//
// The option words are matched whole, exactly and case-sensitively, anywhere after the program
// path; the first of these wins: "--version"/"-v", "--help"/"-h", "--self-test", "--vectorize",
// "--snapshot". Without any of them the window opens.
#pragma once

#include <string>
#include <variant>
#include <vector>

namespace ostrel {

struct LaunchVersion {
    friend bool operator==(const LaunchVersion&, const LaunchVersion&) = default;
};
struct LaunchHelp {
    friend bool operator==(const LaunchHelp&, const LaunchHelp&) = default;
};
struct LaunchSelfTest {
    friend bool operator==(const LaunchSelfTest&, const LaunchSelfTest&) = default;
};
/// `--vectorize`: the words after the program path, unchanged (the mode finds its own options).
struct LaunchVectorize {
    std::vector<std::string> arguments;
    friend bool operator==(const LaunchVectorize&, const LaunchVectorize&) = default;
};
/// `--snapshot [path] [--view name]`: the path as written ("/tmp/ostrel.png" when none follows),
/// the view name as written ("split" when none).
struct LaunchSnapshot {
    std::string outputPath;
    std::string view;
    friend bool operator==(const LaunchSnapshot&, const LaunchSnapshot&) = default;
};
/// The window, opening `file` when one was named (see `fileArgument`).
struct LaunchWindow {
    friend bool operator==(const LaunchWindow&, const LaunchWindow&) = default;
};

using LaunchMode =
    std::variant<LaunchVersion, LaunchHelp, LaunchSelfTest, LaunchVectorize, LaunchSnapshot, LaunchWindow>;

/// The run that `arguments` (program path first) asks for. Never fails.
[[nodiscard]] LaunchMode chooseLaunchMode(const std::vector<std::string>& arguments);

/// True for the options that take the next word as their value ("--lang", "--view", "-o", …).
[[nodiscard]] bool optionTakesValue(const std::string& word) noexcept;

/// The file the windowed run opens: the first word after the program path that is neither an
/// option nor an option's value ("--lang en drawing.png" names drawing.png), with a leading "~"
/// expanded to the home folder. Empty when there is none.
[[nodiscard]] std::string fileArgument(const std::vector<std::string>& arguments);

}  // namespace ostrel
