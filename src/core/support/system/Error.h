// The one error type: a domain, a numeric code and a readable message.
#pragma once

#include <stdexcept>
#include <string>

namespace ostrel {

class Error : public std::runtime_error {
public:
    Error(std::string domain, int code, const std::string& message)
        : std::runtime_error(message), domain_(std::move(domain)), code_(code) {}

    [[nodiscard]] const std::string& domain() const noexcept { return domain_; }
    [[nodiscard]] int code() const noexcept { return code_; }
    [[nodiscard]] std::string message() const { return what(); }

private:
    std::string domain_;
    int code_;
};

}  // namespace ostrel
