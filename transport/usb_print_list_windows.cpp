#include "transport/usb_print_list.h"

// initguid.h first: the GUID and property key below are defined here, not only declared.
#include <initguid.h>
#include <windows.h>
#include <cfgmgr32.h>
#include <devpkey.h>
#include <setupapi.h>
#include <usbprint.h>

#include <cwctype>
#include <mutex>
#include <vector>

#include "text/windows_text.h"

namespace quorvane {

// SetupAPI and the configuration manager, loaded when the first list refreshes and unloaded when
// the last list that used them goes: the component itself links neither.
struct TUsbListSystem {
    struct TLibraryFree {
        void operator()(HMODULE AModule) const { FreeLibrary(AModule); }
    };
    std::unique_ptr<std::remove_pointer_t<HMODULE>, TLibraryFree> SetupApi, ConfigManager;
    decltype(&SetupDiGetClassDevsW) GetClassDevs = nullptr;
    decltype(&SetupDiEnumDeviceInterfaces) EnumDeviceInterfaces = nullptr;
    decltype(&SetupDiDestroyDeviceInfoList) DestroyDeviceInfoList = nullptr;
    decltype(&SetupDiGetDeviceInterfaceDetailW) GetDeviceInterfaceDetail = nullptr;
    decltype(&SetupDiGetDeviceRegistryPropertyW) GetDeviceRegistryProperty = nullptr;
    decltype(&SetupDiGetDevicePropertyW) GetDeviceProperty = nullptr;
    decltype(&SetupDiGetDeviceInstanceIdW) GetDeviceInstanceId = nullptr;
    decltype(&CM_Get_DevNode_Status) GetDevNodeStatus = nullptr;
};

namespace {

template <typename TFunction>
bool Bind(HMODULE AModule, const char* AName, TFunction& AFunction) {
    AFunction = reinterpret_cast<TFunction>(reinterpret_cast<void*>(GetProcAddress(AModule, AName)));
    return AFunction != nullptr;
}

std::shared_ptr<const TUsbListSystem> LoadUsbListSystem() {
    auto system = std::make_shared<TUsbListSystem>();
    system->SetupApi.reset(LoadLibraryW(L"SetupApi.dll"));
    system->ConfigManager.reset(LoadLibraryW(L"cfgmgr32.dll"));
    if (!system->SetupApi || !system->ConfigManager) return nullptr;
    HMODULE setupApi = system->SetupApi.get();
    const bool bound = Bind(setupApi, "SetupDiGetClassDevsW", system->GetClassDevs) &&
                       Bind(setupApi, "SetupDiEnumDeviceInterfaces", system->EnumDeviceInterfaces) &&
                       Bind(setupApi, "SetupDiDestroyDeviceInfoList", system->DestroyDeviceInfoList) &&
                       Bind(setupApi, "SetupDiGetDeviceInterfaceDetailW", system->GetDeviceInterfaceDetail) &&
                       Bind(setupApi, "SetupDiGetDeviceRegistryPropertyW", system->GetDeviceRegistryProperty) &&
                       Bind(setupApi, "SetupDiGetDevicePropertyW", system->GetDeviceProperty) &&
                       Bind(setupApi, "SetupDiGetDeviceInstanceIdW", system->GetDeviceInstanceId) &&
                       Bind(system->ConfigManager.get(), "CM_Get_DevNode_Status", system->GetDevNodeStatus);
    if (!bound) return nullptr;
    return system;
}

// One loading shared by every list alive; the last to go unloads the libraries.
std::shared_ptr<const TUsbListSystem> UsbListSystem() {
    static std::mutex lock;
    static std::weak_ptr<const TUsbListSystem> shared;
    const std::lock_guard<std::mutex> guard(lock);
    std::shared_ptr<const TUsbListSystem> system = shared.lock();
    if (!system) {
        system = LoadUsbListSystem();
        shared = system;
    }
    return system;
}

struct TDeviceInfoSetCloser {
    const TUsbListSystem* System;
    void operator()(HDEVINFO ASet) const { System->DestroyDeviceInfoList(ASet); }
};
using TDeviceInfoSet = std::unique_ptr<void, TDeviceInfoSetCloser>;

// A text property of the device; empty when it has none.
std::wstring RegistryText(const TUsbListSystem& AApi, HDEVINFO ASet, SP_DEVINFO_DATA& ADevice, DWORD AProperty) {
    wchar_t text[512] = {};
    if (!AApi.GetDeviceRegistryProperty(ASet, &ADevice, AProperty, nullptr, reinterpret_cast<BYTE*>(text),
                                           sizeof text - sizeof(wchar_t), nullptr))
        return {};
    return text;
}

// What the device calls itself (its USB product string), else the driver's description.
std::wstring Description(const TUsbListSystem& AApi, HDEVINFO ASet, SP_DEVINFO_DATA& ADevice) {
    wchar_t text[512] = {};
    DEVPROPTYPE type = 0;
    if (AApi.GetDeviceProperty(ASet, &ADevice, &DEVPKEY_Device_BusReportedDeviceDesc, &type,
                                  reinterpret_cast<BYTE*>(text), sizeof text - sizeof(wchar_t), nullptr, 0) &&
        type == DEVPROP_TYPE_STRING && text[0] != L'\0')
        return text;
    return RegistryText(AApi, ASet, ADevice, SPDRP_DEVICEDESC);
}

// "USB\VID_hhhh&PID_hhhh" from the instance id "USB\VID_hhhh&PID_hhhh[&MI_nn]\serial".
std::string HardwareId(const TUsbListSystem& AApi, HDEVINFO ASet, SP_DEVINFO_DATA& ADevice) {
    wchar_t id[MAX_DEVICE_ID_LEN] = {};
    if (!AApi.GetDeviceInstanceId(ASet, &ADevice, id, MAX_DEVICE_ID_LEN, nullptr)) return {};
    std::wstring text(id);
    for (wchar_t& c : text) c = static_cast<wchar_t>(std::towupper(c));
    constexpr std::size_t kLength = 21;  // USB\VID_hhhh&PID_hhhh
    if (text.size() < kLength || text.compare(0, 8, L"USB\\VID_") != 0 || text.compare(12, 5, L"&PID_") != 0)
        return {};
    return Utf8Text(text.substr(0, kLength));
}

bool Started(const TUsbListSystem& AApi, SP_DEVINFO_DATA& ADevice) {
    ULONG status = 0;
    ULONG problem = 0;
    return AApi.GetDevNodeStatus(&status, &problem, ADevice.DevInst, 0) == CR_SUCCESS && (status & DN_STARTED) &&
           !(status & DN_HAS_PROBLEM);
}

}  // namespace

// The devices offering the USB printer class interface that are present now.
bool TUSBPrintList::Refresh() {
    Clear();
    if (!FSystem) FSystem = UsbListSystem();
    if (!FSystem) return false;
    const TUsbListSystem& api = *FSystem;
    HDEVINFO list =
        api.GetClassDevs(&GUID_DEVINTERFACE_USBPRINT, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (list == INVALID_HANDLE_VALUE) return false;
    const TDeviceInfoSet set(list, TDeviceInfoSetCloser{&api});
    for (DWORD i = 0;; ++i) {
        SP_DEVICE_INTERFACE_DATA interfaceData{};
        interfaceData.cbSize = sizeof interfaceData;
        if (!api.EnumDeviceInterfaces(set.get(), nullptr, &GUID_DEVINTERFACE_USBPRINT, i, &interfaceData))
            return GetLastError() == ERROR_NO_MORE_ITEMS;
        DWORD size = 0;
        api.GetDeviceInterfaceDetail(set.get(), &interfaceData, nullptr, 0, &size, nullptr);
        if (size < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W)) continue;  // vanished meanwhile
        std::vector<DWORD> buffer(size / sizeof(DWORD) + 1);
        auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(buffer.data());
        detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
        SP_DEVINFO_DATA device{};
        device.cbSize = sizeof device;
        if (!api.GetDeviceInterfaceDetail(set.get(), &interfaceData, detail, size, nullptr, &device)) continue;
        auto rec = std::make_unique<TUSBPrintInfoRec>();
        rec->interfacename = Utf8Text(detail->DevicePath);
        rec->devicename = Utf8Text(RegistryText(api, set.get(), device, SPDRP_LOCATION_INFORMATION));
        rec->description = Utf8Text(Description(api, set.get(), device));
        rec->hardwareid = HardwareId(api, set.get(), device);
        rec->isenabled = Started(api, device);
        FDevList.push_back(std::move(rec));
    }
}

}  // namespace quorvane
