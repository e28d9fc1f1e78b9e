#pragma once

#include <stdexcept>
#include <string>

namespace quorvane {

// A failure that carries an error code of the equipment-driver standard.
class EquException : public std::runtime_error {
public:
    EquException(int code, const std::string& message) : std::runtime_error(message), Code(code) {}
    int Code;
};

// The standard's text for `code`; `description` wins when given with a non-zero code,
// `fallback` answers codes outside the table (else "Неизвестная ошибка").
std::string EquipmentErrorText(int code, const std::string& description = {},
                               const std::string& fallback = {});

}  // namespace quorvane
