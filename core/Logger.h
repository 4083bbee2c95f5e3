#pragma once
// TqzLogger: the logging hook of the form-field factory; nothing is logged.

#include <string_view>

namespace qz::core {

class TqzLogger {
public:
    static void LogError(std::string_view /*text*/) {}
};

}  // namespace qz::core
