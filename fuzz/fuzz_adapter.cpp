// Host values -> the adapter: random value records of every type, parameter arrays shorter
// than declared, unknown method and property numbers, text settings with any bytes, through the
// three host tables. Only the methods that touch no device are called (no Open, DeviceTest,
// InitializePrinter, actions). Last, the driver builds a document's scripts with the settings as
// the host left them, as PrintLabels would: a setting changes arguments, never which commands
// are sent.
#include <unistd.h>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <fuzzer/FuzzedDataProvider.h>

#include "addin/component_adapter.h"
#include "addin/v8napi.h"
#include "addin/wide_string.h"
#include "driver/driver.h"
#include "fuzz/script_oracle.h"
#include "tools/host/host_connection.h"
#include "tools/host/host_memory.h"
#include "tools/host/host_values.h"

extern "C" const quorvane::WCHAR_T* GetClassNames();
extern "C" long GetClassObject(const quorvane::WCHAR_T* wsName, quorvane::TV8ComponentBase** pIntf);
extern "C" long DestroyObject(quorvane::TV8ComponentBase** pIntf);

namespace {

using namespace quorvane;

const char16_t* const kMethods[] = {
    u"GetInterfaceRevision", u"GetDescription",       u"GetLastError", u"Close",          u"GetParameters",
    u"SetParameter",         u"GetAdditionalActions", u"PrintLabels",  u"ПолучитьОшибку", u"NoSuchMethod"};

const std::uint16_t kTypes[] = {VTYPE_EMPTY, VTYPE_I2,  VTYPE_I4,    VTYPE_R4,        VTYPE_R8,
                                VTYPE_DATE,  VTYPE_TM,  VTYPE_PSTR,  VTYPE_INTERFACE, VTYPE_ERROR,
                                VTYPE_BOOL,  VTYPE_UI1, VTYPE_PWSTR, VTYPE_BLOB};

char* HostBytes(host::THostMemoryManager& AMemory, const std::string& ABytes) {
    void* block = nullptr;
    if (!AMemory.AllocMemory(&block, static_cast<unsigned long>(ABytes.size() + 1))) return nullptr;
    std::memcpy(block, ABytes.data(), ABytes.size());
    static_cast<char*>(block)[ABytes.size()] = 0;
    return static_cast<char*>(block);
}

// A record as a host could hand it over: any type, any value; texts and blobs in host memory.
V8Variant RandomValue(FuzzedDataProvider& AData, host::THostMemoryManager& AMemory) {
    V8Variant value{};
    const std::uint8_t kind = AData.ConsumeIntegral<std::uint8_t>();
    if (kind >= std::size(kTypes) * 2) {
        value.vt = AData.ConsumeIntegral<std::uint16_t>();  // unknown type: no payload
        return value;
    }
    value.vt = kTypes[kind % std::size(kTypes)];
    switch (value.vt) {
        case VTYPE_I2: value.VarEnum.shortVal = AData.ConsumeIntegral<std::int16_t>(); break;
        case VTYPE_I4:
        case VTYPE_ERROR: value.VarEnum.lVal = AData.ConsumeIntegral<std::int32_t>(); break;
        case VTYPE_UI1: value.VarEnum.ui8Val = AData.ConsumeIntegral<std::uint8_t>(); break;
        case VTYPE_BOOL: value.VarEnum.bVal = AData.ConsumeBool(); break;
        case VTYPE_R4: {
            const std::uint32_t bits = AData.ConsumeIntegral<std::uint32_t>();
            std::memcpy(&value.VarEnum.fltVal, &bits, sizeof bits);
            break;
        }
        case VTYPE_R8:
        case VTYPE_DATE: {
            const std::uint64_t bits = AData.ConsumeIntegral<std::uint64_t>();
            std::memcpy(&value.VarEnum.dblVal, &bits, sizeof bits);
            break;
        }
        case VTYPE_TM:
            value.VarEnum.tmVal.tm_sec = AData.ConsumeIntegral<int>();
            value.VarEnum.tmVal.tm_min = AData.ConsumeIntegral<int>();
            value.VarEnum.tmVal.tm_hour = AData.ConsumeIntegral<int>();
            value.VarEnum.tmVal.tm_mday = AData.ConsumeIntegral<int>();
            value.VarEnum.tmVal.tm_mon = AData.ConsumeIntegral<int>();
            value.VarEnum.tmVal.tm_year = AData.ConsumeIntegral<int>();
            value.VarEnum.tmVal.tm_isdst = AData.ConsumeIntegral<int>();
            break;
        case VTYPE_PSTR:
        case VTYPE_BLOB: {
            const std::string bytes = AData.ConsumeRandomLengthString(256);
            value.VarEnum.vtRecString.pstrVal = HostBytes(AMemory, bytes);
            value.VarEnum.vtRecString.strLen = static_cast<std::uint32_t>(bytes.size());
            break;
        }
        case VTYPE_PWSTR: {
            // UTF-16 code units as they come, unpaired surrogates included.
            std::string units = AData.ConsumeRandomLengthString(512);
            units.resize(units.size() / 2 * 2);
            units.append(2, '\0');
            value.VarEnum.vtRecWideString.pwstrVal = reinterpret_cast<WCHAR_T*>(HostBytes(AMemory, units));
            value.VarEnum.vtRecWideString.wstrLen = static_cast<std::uint32_t>(units.size() / 2 - 1);
            break;
        }
        default: break;  // empty, interface (no interface given)
    }
    return value;
}

// The settings written into commands as text, with the schema's defaults.
const std::pair<const char*, const char*> kTextSettings[] = {
    {"Codepage", "1251"}, {"DataMatrixSize", "10x10"}, {"QRCodeECCLevel", "M"}, {"QRCodeMode", "A"},
    {"QRCodeModel", "M1"}};

// Every kind of barcode the printer draws itself, with values in the template and per label.
constexpr const char* kDocument =
    "<Data><Formatting Width=\"60\" Height=\"40\">"
    "<Barcode FieldName=\"q\" Type=\"QRCode\" Left=\"1\" Top=\"1\" Width=\"15\" Height=\"15\"/>"
    "<Barcode FieldName=\"s\" Type=\"QRCode\" Static=\"true\" Value=\"s\" Left=\"20\" Top=\"1\" "
    "Width=\"15\" Height=\"15\"/>"
    "<Barcode FieldName=\"d\" Type=\"DataMatrix\" Left=\"40\" Top=\"1\" Width=\"15\" Height=\"15\"/>"
    "<Barcode FieldName=\"p\" Type=\"PDF417\" Left=\"1\" Top=\"20\" Width=\"30\" Height=\"10\"/>"
    "<Barcode FieldName=\"c\" Type=\"code128\" Left=\"35\" Top=\"20\" Width=\"20\" Height=\"8\"/>"
    "</Formatting><Labels><Label Quantity=\"2\"><Record FieldName=\"q\" Value=\"q1\"/>"
    "<Record FieldName=\"d\" Value=\"d1\"/><Record FieldName=\"p\" Value=\"p1\"/>"
    "<Record FieldName=\"c\" Value=\"c1\"/></Label></Labels></Data>";

void SetText(TDriver& ADriver, host::THostMemoryManager& AMemory, const char* AName, const std::string& AValue) {
    host::THostValues value(AMemory);
    ADriver.PropertySet(AName, value.Add(host::StringValue(AMemory, AValue)));
}

// The command names of each label's script; empty when the driver refuses the document.
std::vector<std::vector<std::string>> Commands(TDriver& ADriver, const pugi::xml_document& ADocument) {
    std::vector<std::vector<std::string>> labels;
    try {
        ADriver.BuildScripts(ADocument, [&](TScriptObject&& AScript) {
            labels.push_back(fuzz::GeneratorCommands(AScript.FValue));
        });
    } catch (const std::exception&) {
        return {};  // a clear error: nothing would be sent
    }
    return labels;
}

// The scripts with the text settings as the host left them hold the commands they hold with
// the defaults, in the same order.
void CheckSettingsAddNoCommands(TDriver& ADriver, host::THostMemoryManager& AMemory) {
    static const pugi::xml_document document = ParseLabelDocument(kDocument);
    const auto given = Commands(ADriver, document);
    if (given.empty()) return;
    for (const auto& [name, value] : kTextSettings) SetText(ADriver, AMemory, name, value);
    const auto reference = Commands(ADriver, document);
    if (!reference.empty() && given != reference) __builtin_trap();
}

void FreeName(host::THostMemoryManager& AMemory, const WCHAR_T* AName) {
    void* block = const_cast<WCHAR_T*>(AName);
    if (block) AMemory.FreeMemory(&block);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    const auto logs =
        std::filesystem::temp_directory_path() / ("quorvane-fuzz-adapter-" + std::to_string(getpid()));
    std::filesystem::create_directories(logs);
    setenv("QUORVANE_LOG_DIR", logs.c_str(), 1);
    static const std::string folder = logs.string();
    std::atexit([] {
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* AData, std::size_t ASize) {
    FuzzedDataProvider data(AData, ASize);
    host::THostMemoryManager memory;
    host::THostConnection connection;
    TV8ComponentBase* object = nullptr;
    if (!GetClassObject(u"quorvane", &object) || object == nullptr) __builtin_trap();
    object->Init(static_cast<TV8AddInDefBaseEx*>(&connection));
    object->setMemManager(static_cast<TV8MemoryManager*>(&memory));
    auto& driver = dynamic_cast<TDriver&>(static_cast<TComponentAdapter*>(object)->Object());
    // The settings a host hands over before printing, the barcodes drawn by the printer.
    for (const auto& [name, value] : kTextSettings) SetText(driver, memory, name, value);
    for (const auto& [name, value] : {std::pair{"Resolution", 203}, {"Density", 7}, {"Gap", 3},
                                      {"BarcodeNarrow", 2}, {"DataMatrixModuleSize", 3}, {"QRCodeCellWidth", 4},
                                      {"PDF417DataCompression", -1}, {"PDF417CorrectionLevel", -1},
                                      {"PDF417CenterPattern", -1}, {"PDF417ModuleWidth", -1},
                                      {"PDF417ModuleHeight", -1}, {"PDF417Truncate", -1}}) {
        host::THostValues record(memory);
        driver.PropertySet(name, record.Add(host::IntValue(value)));
    }
    for (int step = 0; step < 16 && data.remaining_bytes() > 0; ++step) {
        switch (data.ConsumeIntegralInRange<int>(0, 6)) {
            case 0:
            case 1: {
                const long method = object->FindMethod(
                    kMethods[data.ConsumeIntegralInRange<std::size_t>(0, std::size(kMethods) - 1)]);
                const long declared = method < 0 ? 0 : object->GetNParams(method);
                // As many records as declared, or fewer, or a few more.
                const long count = data.ConsumeIntegralInRange<long>(0, declared + 2);
                host::THostValues params(memory);
                for (long i = 0; i < count; ++i) params.Add(RandomValue(data, memory));
                host::THostValues result(memory, 1);
                for (long i = 0; i < declared; ++i) {
                    host::THostValues def(memory, 1);
                    object->GetParamDefValue(method, i, def.Data());
                }
                if (data.ConsumeBool())
                    object->CallAsFunc(method, result.Data(), params.Data(), count);
                else
                    object->CallAsProc(method, params.Data(), count);
                break;
            }
            case 2: {
                const long prop = data.ConsumeIntegralInRange<long>(-2, object->GetNProps() + 1);
                host::THostValues value(memory, 1);
                value[0] = RandomValue(data, memory);
                object->IsPropWritable(prop);
                object->SetPropVal(prop, value.Data());
                break;
            }
            case 3: {
                const long prop = data.ConsumeIntegralInRange<long>(-2, object->GetNProps() + 1);
                host::THostValues value(memory, 1);
                object->IsPropReadable(prop);
                object->GetPropVal(prop, value.Data());
                break;
            }
            case 4: {
                const long n = data.ConsumeIntegralInRange<long>(-2, 40);
                const long alias = data.ConsumeIntegralInRange<long>(-1, 2);
                FreeName(memory, object->GetMethodName(n, alias));
                FreeName(memory, object->GetPropName(n, alias));
                object->HasRetVal(n);
                break;
            }
            case 6: {
                // A text setting with any bytes, often after a value of its list.
                const auto& [name, valid] =
                    kTextSettings[data.ConsumeIntegralInRange<std::size_t>(0, std::size(kTextSettings) - 1)];
                std::string value = data.ConsumeBool() ? valid : "";
                value += data.ConsumeRandomLengthString(32);
                host::THostValues record(memory, 1);
                record[0] = host::StringValue(memory, value);
                object->SetPropVal(object->FindProp(Utf8ToWide(name).c_str()), record.Data());
                break;
            }
            default: {
                std::u16string name;
                const std::string bytes = data.ConsumeRandomLengthString(64);
                for (std::size_t i = 0; i + 1 < bytes.size(); i += 2)
                    name.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                                         static_cast<unsigned char>(bytes[i + 1]) << 8));
                object->FindMethod(name.c_str());
                object->FindProp(name.c_str());
                object->SetLocale(name.c_str());
                break;
            }
        }
    }
    CheckSettingsAddNoCommands(driver, memory);
    DestroyObject(&object);
    // Every text the component freed was the host's, and freed once.
    if (memory.BadFrees() != 0) __builtin_trap();
    return 0;
}
