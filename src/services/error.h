#pragma once

#include <stdexcept>
#include <string>

namespace tdb {

// The one failure type of the system. Its message is Spanish, UTF-8, meant for the user, and
// names what failed: file, table, list, item position, field, value.
class Error : public std::runtime_error {
public:
    explicit Error(const std::string& message) : std::runtime_error(message) {}
};

} // namespace tdb
