// The program's exception type: a message for the standard exception box.
#pragma once

#include <stdexcept>
#include <string>

namespace dormix {

class Exception : public std::runtime_error {
public:
    explicit Exception(const std::string& message) : std::runtime_error(message) {}
    std::string Message() const { return what(); }
};

} // namespace dormix
