#pragma once

#include <string>

#include "errors/equipment_errors.h"
#include "transport/deadline.h"

namespace quorvane {

// One connection to the printer, whatever carries it. Data is a byte string both ways. Every
// failure is an EquException with the equipment error code and a text that says where and why;
// after one the channel stays usable, and Close is always safe.
class TChannel {
public:
    virtual ~TChannel() = default;

    virtual void Open() = 0;
    virtual void Write(const std::string& AData) = 0;
    // ACount >= 1: one counted read; ACount <= 0: everything the printer has to say.
    virtual std::string Read(int ACount) = 0;
    // The printer's answer, at most ACount bytes, waited for until ADeadline: back the moment data
    // arrives; empty when the printer is silent until then. Broken connections still fail.
    virtual std::string ReadWithin(int ACount, TDeadline ADeadline) = 0;
    virtual void Flush() = 0;
    virtual void Close() = 0;
    // Between labels: other users of a device this machine shares get their turn.
    virtual void PassTurn() {}
};

// A failure's text for people: the documented text first, then where it happened and, when
// known, why.
inline std::string WithContext(const std::string& AText, const std::string& AWhere,
                               const std::string& AWhy = {}) {
    return AText + ": " + AWhere + (AWhy.empty() ? "" : " — " + AWhy);
}

}  // namespace quorvane
