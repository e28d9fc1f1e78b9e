#pragma once

#include <optional>
#include <string>

#include "errors/messages.h"

namespace quorvane {

// The message of an equipment error code; none for a code outside the table.
constexpr std::optional<TMessage> EquipmentErrorMessage(int code);

// A failure that carries an error code of the equipment-driver standard. Its id is the message
// its text starts with; a text from elsewhere (a channel's or the system's) has the code's.
class EquException : public TMessageError {
public:
    EquException(int code, TMessage id, const std::string& message)
        : TMessageError(TMessageError::WithText(id, message)), Code(code) {}
    EquException(int code, const std::string& message)
        : EquException(code, EquipmentErrorMessage(code).value_or(TMessage::UnknownError), message) {}
    int Code;
};

namespace detail {

struct TEquipmentErrorRow {
    int Code;
    TMessage Id;
};

// The general rows of the standard's table; the rows of other device classes are never
// produced by a label printer and are left out.
inline constexpr TEquipmentErrorRow kEquipmentErrors[] = {
    {0, TMessage::NoError},
    {70, TMessage::DeviceNotEnabled},
    {74, TMessage::WaitTimeoutExpired},
    {201, TMessage::CancelledByUser},
    {1001, TMessage::UnknownError},
    {1002, TMessage::CommandNotRecognized},
    {1003, TMessage::CommandNotSupported},
    {1004, TMessage::CommandParameterError},
    {1005, TMessage::DeviceNotFoundOrNotInitialized},
    {1006, TMessage::LibraryNotFound},
    {1007, TMessage::DeviceNotResponding},
    {1008, TMessage::EquipmentNotReady},
    {1009, TMessage::DeviceBusy},
    {1010, TMessage::WrongLibraryVersion},
    {1011, TMessage::PortUnavailable},
    {1012, TMessage::PortTakenByOtherApplication},
    {1013, TMessage::DeviceNotFound},
    {1014, TMessage::ExchangeProtocolError},
    {1015, TMessage::WrongCommandSequence},
    {1016, TMessage::PortWriteError},
    {1017, TMessage::PortReadError},
    {1018, TMessage::LibraryMethodCallError},
    {1019, TMessage::SingleDeviceInstanceOnly},
    {1020, TMessage::WrongDeviceParameters},
};

}  // namespace detail

constexpr std::optional<TMessage> EquipmentErrorMessage(int code) {
    for (const auto& row : detail::kEquipmentErrors)
        if (row.Code == code) return row.Id;
    return std::nullopt;
}

// The standard's text for `code`; `description` wins when given with a non-zero code,
// `fallback` answers codes outside the table (else the text of 1001).
// Header-only, below both the transport and the driver, which report with these codes.
inline std::string EquipmentErrorText(int code, const std::string& description = {},
                                      const std::string& fallback = {}) {
    if (!description.empty() && code != 0) return description;
    if (const auto id = EquipmentErrorMessage(code)) return MessageText(*id);
    if (!fallback.empty()) return fallback;
    return MessageText(TMessage::UnknownError);
}

}  // namespace quorvane
