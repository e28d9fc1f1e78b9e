#include "transport/usb_print_list.h"

// initguid.h first: the GUID and property key below are defined here, not only declared.
#include <initguid.h>
#include <windows.h>
#include <cfgmgr32.h>
#include <devpkey.h>
#include <setupapi.h>
#include <usbprint.h>

#include <cwctype>
#include <vector>

#include "text/windows_text.h"

namespace quorvane {

namespace {

struct TDeviceInfoSetCloser {
    void operator()(HDEVINFO ASet) const { SetupDiDestroyDeviceInfoList(ASet); }
};
using TDeviceInfoSet = std::unique_ptr<void, TDeviceInfoSetCloser>;

// A text property of the device; empty when it has none.
std::wstring RegistryText(HDEVINFO ASet, SP_DEVINFO_DATA& ADevice, DWORD AProperty) {
    wchar_t text[512] = {};
    if (!SetupDiGetDeviceRegistryPropertyW(ASet, &ADevice, AProperty, nullptr, reinterpret_cast<BYTE*>(text),
                                           sizeof text - sizeof(wchar_t), nullptr))
        return {};
    return text;
}

// What the device calls itself (its USB product string), else the driver's description.
std::wstring Description(HDEVINFO ASet, SP_DEVINFO_DATA& ADevice) {
    wchar_t text[512] = {};
    DEVPROPTYPE type = 0;
    if (SetupDiGetDevicePropertyW(ASet, &ADevice, &DEVPKEY_Device_BusReportedDeviceDesc, &type,
                                  reinterpret_cast<BYTE*>(text), sizeof text - sizeof(wchar_t), nullptr, 0) &&
        type == DEVPROP_TYPE_STRING && text[0] != L'\0')
        return text;
    return RegistryText(ASet, ADevice, SPDRP_DEVICEDESC);
}

// "USB\VID_hhhh&PID_hhhh" from the instance id "USB\VID_hhhh&PID_hhhh[&MI_nn]\serial".
std::string HardwareId(HDEVINFO ASet, SP_DEVINFO_DATA& ADevice) {
    wchar_t id[MAX_DEVICE_ID_LEN] = {};
    if (!SetupDiGetDeviceInstanceIdW(ASet, &ADevice, id, MAX_DEVICE_ID_LEN, nullptr)) return {};
    std::wstring text(id);
    for (wchar_t& c : text) c = static_cast<wchar_t>(std::towupper(c));
    constexpr std::size_t kLength = 21;  // USB\VID_hhhh&PID_hhhh
    if (text.size() < kLength || text.compare(0, 8, L"USB\\VID_") != 0 || text.compare(12, 5, L"&PID_") != 0)
        return {};
    return Utf8Text(text.substr(0, kLength));
}

bool Started(SP_DEVINFO_DATA& ADevice) {
    ULONG status = 0;
    ULONG problem = 0;
    return CM_Get_DevNode_Status(&status, &problem, ADevice.DevInst, 0) == CR_SUCCESS && (status & DN_STARTED) &&
           !(status & DN_HAS_PROBLEM);
}

}  // namespace

// The devices offering the USB printer class interface that are present now.
bool TUSBPrintList::Refresh() {
    Clear();
    HDEVINFO list =
        SetupDiGetClassDevsW(&GUID_DEVINTERFACE_USBPRINT, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (list == INVALID_HANDLE_VALUE) return false;
    const TDeviceInfoSet set(list);
    for (DWORD i = 0;; ++i) {
        SP_DEVICE_INTERFACE_DATA interfaceData{};
        interfaceData.cbSize = sizeof interfaceData;
        if (!SetupDiEnumDeviceInterfaces(set.get(), nullptr, &GUID_DEVINTERFACE_USBPRINT, i, &interfaceData))
            return GetLastError() == ERROR_NO_MORE_ITEMS;
        DWORD size = 0;
        SetupDiGetDeviceInterfaceDetailW(set.get(), &interfaceData, nullptr, 0, &size, nullptr);
        if (size < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W)) continue;  // vanished meanwhile
        std::vector<DWORD> buffer(size / sizeof(DWORD) + 1);
        auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(buffer.data());
        detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
        SP_DEVINFO_DATA device{};
        device.cbSize = sizeof device;
        if (!SetupDiGetDeviceInterfaceDetailW(set.get(), &interfaceData, detail, size, nullptr, &device)) continue;
        auto rec = std::make_unique<TUSBPrintInfoRec>();
        rec->interfacename = Utf8Text(detail->DevicePath);
        rec->devicename = Utf8Text(RegistryText(set.get(), device, SPDRP_LOCATION_INFORMATION));
        rec->description = Utf8Text(Description(set.get(), device));
        rec->hardwareid = HardwareId(set.get(), device);
        rec->isenabled = Started(device);
        FDevList.push_back(std::move(rec));
    }
}

}  // namespace quorvane
