#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "addin/v8napi.h"

namespace quorvane {

class TClassReg;

// Base class of every object the component hands to the host. It keeps what the host hands over
// (connection, memory manager, locale) and writes host values through the host's memory.
class TV8UserObject {
public:
    TV8UserObject() = default;
    virtual ~TV8UserObject() = default;
    TV8UserObject(const TV8UserObject&) = delete;
    TV8UserObject& operator=(const TV8UserObject&) = delete;

    TClassReg* ClassReg = nullptr;     // set by GetClassObject right after construction
    TV8MemoryManager* V8MM = nullptr;  // set by setMemManager; not owned
    TV8AddInDefBaseEx* V8 = nullptr;   // set by Init; not owned
    std::u16string locale;             // set by SetLocale

    // Called by the adapter after it stored what the host handed over.
    virtual bool Init() { return true; }
    virtual long GetInfo() { return kAddInInfo; }
    virtual void SetLocale(const std::u16string& /*ALocale*/) {}
    virtual void Done() {}
    virtual bool SetMemManager() { return true; }

    // Setters: each clears the record first (V8ClearVar), then writes it. Texts and blobs are
    // copied into memory from the host's memory manager; the host frees what it receives.
    void V8ClearVar(V8Variant& V);
    void V8SetInt(V8Variant& V, std::int32_t AValue);
    void V8SetDouble(V8Variant& V, double AValue);
    void V8SetDate(V8Variant& V, double ADate);
    void V8SetBool(V8Variant& V, bool AValue);
    // Type 22. An empty text still gets a 2-byte block holding the terminator. False when no
    // memory could be had; the record then holds type 22 with a null pointer.
    bool V8SetWString(V8Variant& V, std::u16string_view AText);
    // Type 22 from the driver's UTF-8 text.
    bool V8SetUtf8String(V8Variant& V, std::string_view AText);
    // Type 8. A null text returns true and leaves V untouched.
    bool V8SetPChar(V8Variant& V, const char* AText);
    bool V8SetString(V8Variant& V, std::string_view AText);
    // Type 23. A null source returns true and leaves V untouched.
    bool V8SetBlob(V8Variant& V, const void* AData, std::size_t ALength);

    // Reports AMessage to the host (wcode 1006, source "Внешняя компонента", E_FAIL). False
    // when there is no connection yet.
    bool AddError(const std::string& AMessage);
    // A warning for the person at the host, without failing the call: the platform shows it
    // as a message and raises nothing.
    bool AddWarning(const std::string& AMessage);

private:
    // A block of ASize bytes from the host, or null.
    void* Alloc(std::size_t ASize);
};

// Readers. The type is vt masked to its low 12 bits.
std::uint16_t V8Type(const V8Variant& V);
std::int32_t V8GetInt(const V8Variant& V);
std::int32_t V8ToInt(const V8Variant& V);
bool V8GetBool(const V8Variant& V);
// A text is parsed with the decimal separator of the process's numeric locale.
double V8GetDouble(const V8Variant& V);
// The platform's day count; a broken-down time (type 7) that is impossible throws
// std::invalid_argument.
double V8GetDate(const V8Variant& V);
// Type 22 up to its terminator; an 8-bit text (type 8) is read as UTF-8; anything else: empty.
std::u16string V8GetWString(const V8Variant& V);
// V8GetWString as the driver's UTF-8 text.
std::string V8GetUtf8String(const V8Variant& V);
// The host's own text of a wide string value, not copied (valid while the host keeps the value);
// empty for any other value.
std::u16string_view V8WideStringView(const V8Variant& V);
bool V8IsString(const V8Variant& V);

// A host-memory copy of AText with its terminator; null without a manager or when the host
// has no memory. Every name handed to the host goes through it.
WCHAR_T* V8AllocWString(TV8MemoryManager* AManager, std::u16string_view AText);

}  // namespace quorvane
