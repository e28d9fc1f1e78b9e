#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace quorvane {

// Device classes of the equipment-driver standard.
enum class TEquipmentType : std::uint8_t {
    etScanner,
    etMCR,
    etFR,
    etReceiptPrinter,
    etLabelPrinter,
    etCustomerDisplay,
    etDataCollectionTerminal,
    etAcquiringTerminal,
    etScale,
    etPrintingScale,
    etRFIDReader,
    etECR,
    etVideocamera,
    etUnknown,
};

// The class name the description document gives for `AType`; "Enum value unacceptable"
// for an ordinal outside the enumeration.
std::string EquipmentTypeName(TEquipmentType AType);

// What the component tells the host about itself; one record for the whole library.
struct TDriverInfo {
    std::string Name;
    std::string Description;
    TEquipmentType EquipmentType = TEquipmentType::etUnknown;
    bool IntegrationComponent = false;
    bool MainDriverInstalled = false;
    std::string DriverVersion;
    std::string IntegrationComponentVersion;
    std::string DownloadURL;
    bool LogIsEnabled = false;
    std::string LogPath;

    // Resets the type, the flags and the address; names and versions stay.
    void Clear();
};

// The shared record: filled at load and refreshed by every driver object's constructor, which
// the host may run on any of its threads, so it is only reached under a lock.
TDriverInfo GetDriverInfo();
void ChangeDriverInfo(const std::function<void(TDriverInfo&)>& AChange);

// The maker's web address, set at build time.
std::string DriverDownloadURL();

}  // namespace quorvane
