#pragma once

#include <string>

#include "errors/system_errors.h"

namespace quorvane {

// The system text of errno, in Russian (SystemErrorText(int) for a given number).
std::string SystemErrorText();

// Why a device or connection failed, for people: the system text, said the way it reads for a
// device path ("устройство не найдено" rather than "нет такого файла"); for a refused access it
// adds how to get access through AGroup or the udev rule.
std::string SystemReason(int AError, const char* AGroup = nullptr);

}  // namespace quorvane
