#include "core/support/system/PortNumber.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

namespace ostrel {
namespace {

// Sets (or, for a null value, unsets) an environment variable for one scope.
class EnvironmentScope {
public:
    EnvironmentScope(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) previous_ = old;
        if (value)
            ::setenv(name, value, 1);
        else
            ::unsetenv(name);
    }
    ~EnvironmentScope() {
        if (previous_)
            ::setenv(name_, previous_->c_str(), 1);
        else
            ::unsetenv(name_);
    }

private:
    const char* name_;
    std::optional<std::string> previous_;
};

TEST(PortNumber, ReadsTheEnvironmentPortsAsDecimal16BitNumbers) {
    struct Case {
        const char* text;  // null: variable unset
        std::optional<std::uint16_t> parsed;
    };
    const Case cases[] = {
        {"+8080", 8080},
        {"8080", 8080},
        {"0", 0},
        {"-0", 0},
        {"+0", 0},
        {"00080", 80},
        {"65535", 65535},
        {"8080 ", std::nullopt},
        {" 8080", std::nullopt},
        {"port", std::nullopt},
        {"70000", std::nullopt},
        {"65536", std::nullopt},
        {"-1", std::nullopt},
        {"", std::nullopt},
        {"+", std::nullopt},
        {"80.0", std::nullopt},
        {"99999999999999999999", std::nullopt},
        {nullptr, std::nullopt},
    };
    for (const Case& c : cases) {
        if (c.text) {
            EXPECT_EQ(parsePortNumber(c.text), c.parsed) << c.text;
        }
        EnvironmentScope api("OSTREL_API_PORT", c.text);
        EnvironmentScope osc("OSTREL_OSC_IN_PORT", c.text);
        EXPECT_EQ(apiPortFromEnvironment(), c.parsed.value_or(17940)) << (c.text ? c.text : "(unset)");
        EXPECT_EQ(oscInPortFromEnvironment(), c.parsed.value_or(9140)) << (c.text ? c.text : "(unset)");
    }
    EXPECT_EQ(kOstrelDefaultOSCInPort, 9140);
    EXPECT_EQ(kOstrelDefaultHTTPPort, 17940);
}

}  // namespace
}  // namespace ostrel
