#include "errors/equipment_errors.h"
#include "errors/messages.h"
#include "transport/port_manager.h"
#include "transport/usb_device_io.h"

// The Windows build has no USB printer channel yet (overlapped I/O on the printer class device):
// a USB port fails at once with a text that says so and names the ways that work.

namespace quorvane {

std::shared_ptr<TUsbDeviceIo> SystemUsbDeviceIo() { return nullptr; }

TPortManager::TPortManager(const std::string& APortName, std::shared_ptr<TUsbDeviceIo>) {
    throw EquException(1011, TMessage::PortUnavailable,
                       std::string(MessageText(TMessage::PortUnavailable)) + " (" + APortName +
                           "): " + MessageText(TMessage::WindowsUsbNotBuiltYet));
}

}  // namespace quorvane
