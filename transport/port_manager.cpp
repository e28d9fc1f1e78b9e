#include "transport/port_manager.h"

#include "transport/channels.h"

namespace quorvane {

TPortManager::TPortManager(int APortNumber, int ABaudRate, int ADataBits, int AStopBits, int AParity)
    : FChannel(std::make_unique<TSerialChannel>(APortNumber, ABaudRate, ADataBits, AStopBits, AParity)) {}

TPortManager::TPortManager(const std::string& AIPAddress, int AIPPort)
    : FChannel(std::make_unique<TNetworkChannel>(AIPAddress, AIPPort)) {}

TPortManager::~TPortManager() = default;

std::string TPortManager::ReadFromPortWithin(int ACount, TDeadline ADeadline) {
    if (ACount < 1) throw EquException(1004, "ReadFromPortWithin needs a byte count of at least 1");
    return FChannel->ReadWithin(ACount, ADeadline);
}

}  // namespace quorvane
