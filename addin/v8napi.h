#pragma once

// The host's Native API as seen from the component: the value record, the three interfaces the
// component implements, the host interfaces it calls, and the three exported entry points.
// Slots are declared in the platform's order with the platform's C types; slot 0 of every
// interface is the destructor slot the host never calls. On Linux it is a virtual destructor (two
// table entries under the Itanium ABI, which is what the platform's Linux host expects). The
// Windows host is built with MSVC, whose virtual destructor is ONE entry, the scalar deleting
// destructor: there slot 0 is declared as exactly that, and the destructor itself is protected
// and not virtual (g++ would otherwise give it two entries and shift every slot after it).

#include <cstddef>
#include <cstdint>
#include <ctime>

namespace quorvane {

// Host text unit: UTF-16.
#if defined(_WIN32)
using WCHAR_T = wchar_t;
#else
using WCHAR_T = char16_t;
#endif

// Type codes of V8Variant::vt (low 12 bits; flags above).
enum TV8Type : std::uint16_t {
    VTYPE_EMPTY = 0,
    VTYPE_I2 = 2,
    VTYPE_I4 = 3,
    VTYPE_R4 = 4,
    VTYPE_R8 = 5,
    VTYPE_DATE = 6,
    VTYPE_TM = 7,
    VTYPE_PSTR = 8,
    VTYPE_INTERFACE = 9,
    VTYPE_ERROR = 10,
    VTYPE_BOOL = 11,
    VTYPE_UI1 = 14,
    VTYPE_PWSTR = 22,
    VTYPE_BLOB = 23,
};
constexpr std::uint16_t VTYPE_MASK = 0x0FFF;

struct TV8GUID {
    std::uint32_t Data1;
    std::uint16_t Data2;
    std::uint16_t Data3;
    std::uint8_t Data4[8];
};

struct V8Variant;

struct TV8RecInterface {
    void* pInterfaceVal;
    TV8GUID InterfaceID;
};

struct TV8RecString {
    char* pstrVal;
    std::uint32_t strLen;  // bytes, terminator not counted
};

struct TV8RecWideString {
    WCHAR_T* pwstrVal;
    std::uint32_t wstrLen;  // characters, terminator not counted
};

// The broken-down time is the C library's own struct tm, whose first nine fields are the
// platform's (tm_sec .. tm_isdst); glibc adds tm_gmtoff and tm_zone.
using TV8tm = std::tm;

union TVarEnum {
    std::int8_t i8Val;
    std::int16_t shortVal;
    std::int32_t lVal;
    std::int32_t intVal;
    std::uint32_t uintVal;
    std::uint32_t ulVal;
    std::int64_t llVal;
    std::uint64_t ullVal;
    std::uint8_t ui8Val;
    std::uint16_t ushortVal;
    std::int32_t errCode;
    std::uint32_t hRes;
    float fltVal;
    double dblVal;
    bool bVal;
    char chVal;
    WCHAR_T wchVal;
    double date;
    TV8GUID IDVal;
    V8Variant* pvarVal;
    TV8tm tmVal;
    TV8RecInterface vtRecInterface;
    TV8RecString vtRecString;
    TV8RecWideString vtRecWideString;
};

// The host's value record, exchanged by address (arrays of them for parameters).
struct V8Variant {
    TVarEnum VarEnum;
    std::uint32_t cbElements;
    std::uint16_t vt;  // type code in the low 12 bits
};

#if defined(__x86_64__) && defined(__linux__)
// A wrong size shifts every parameter after the first; guard the platform's layout.
static_assert(sizeof(TV8tm) == 56, "glibc struct tm is 56 bytes on x86_64");
static_assert(sizeof(TVarEnum) == 56);
static_assert(offsetof(V8Variant, cbElements) == 56);
static_assert(offsetof(V8Variant, vt) == 60);
static_assert(sizeof(V8Variant) == 64);
static_assert(offsetof(TV8RecString, strLen) == 8);
static_assert(offsetof(TV8RecWideString, wstrLen) == 8);
static_assert(sizeof(long) == 8, "slot types follow the LP64 model");
#elif defined(_WIN32)
// MSVC's record on both Windows targets: struct tm is nine ints, the union 40 bytes.
static_assert(sizeof(TVarEnum) == 40);
static_assert(offsetof(V8Variant, cbElements) == 40);
static_assert(offsetof(V8Variant, vt) == 44);
static_assert(sizeof(V8Variant) == 48);
static_assert(sizeof(WCHAR_T) == 2 && sizeof(long) == 4, "slot types follow the LLP64 model");
#endif

// Slot 0 of every host interface (see the top of this file).
#if defined(_WIN32)
#define QUORVANE_DESTRUCTOR_SLOT(Interface)            \
public:                                                \
    virtual void* ScalarDeletingDestructor(unsigned AFlags) = 0; \
                                                       \
protected:                                             \
    ~Interface() = default;                            \
                                                       \
public:
#else
#define QUORVANE_DESTRUCTOR_SLOT(Interface) \
public:                                     \
    virtual ~Interface() {}
#endif

// ---- Host interfaces the component calls -------------------------------------------------

class TV8MemoryManager {
    QUORVANE_DESTRUCTOR_SLOT(TV8MemoryManager)
    virtual bool AllocMemory(void** pMemory, unsigned long ulCountByte) = 0;
    virtual void FreeMemory(void** pMemory) = 0;
};

class TV8AddInDefBase {
    QUORVANE_DESTRUCTOR_SLOT(TV8AddInDefBase)
    virtual bool AddError(unsigned short wcode, const WCHAR_T* source, const WCHAR_T* descr, long scode) = 0;
    virtual bool Read(WCHAR_T* wszPropName, V8Variant* pVal, long* pErrCode, WCHAR_T** errDescriptor) = 0;
    virtual bool Write(WCHAR_T* wszPropName, V8Variant* pVar) = 0;
    virtual bool RegisterProfileAs(WCHAR_T* wszProfileName) = 0;
    virtual bool SetEventBufferDepth(long lDepth) = 0;
    virtual long GetEventBufferDepth() = 0;
    virtual bool ExternalEvent(WCHAR_T* wszSource, WCHAR_T* wszMessage, WCHAR_T* wszData) = 0;
    virtual void CleanEventBuffer() = 0;
    virtual bool SetStatusLine(WCHAR_T* wszStatusLine) = 0;
    virtual void ResetStatusLine() = 0;
};

class TV8AddInDefBaseEx : public TV8AddInDefBase {
public:
    virtual void* GetInterface(int iface) = 0;
};

// ---- Interfaces the component implements ---------------------------------------------------

// The initialisation table.
class TV8InitDone {
    QUORVANE_DESTRUCTOR_SLOT(TV8InitDone)
    virtual bool Init(void* disp) = 0;          // the host connection, a TV8AddInDefBaseEx
    virtual bool setMemManager(void* mem) = 0;  // a TV8MemoryManager
    virtual long GetInfo() = 0;
    virtual void Done() = 0;
};

// The language-extension table.
class TV8LanguageExtender {
    QUORVANE_DESTRUCTOR_SLOT(TV8LanguageExtender)
    virtual bool RegisterExtensionAs(WCHAR_T** wsExtensionName) = 0;
    virtual long GetNProps() = 0;
    virtual long FindProp(const WCHAR_T* wsPropName) = 0;
    virtual const WCHAR_T* GetPropName(long lPropNum, long lPropAlias) = 0;
    virtual bool GetPropVal(const long lPropNum, V8Variant* pvarPropVal) = 0;
    virtual bool SetPropVal(const long lPropNum, V8Variant* varPropVal) = 0;
    virtual bool IsPropReadable(const long lPropNum) = 0;
    virtual bool IsPropWritable(const long lPropNum) = 0;
    virtual long GetNMethods() = 0;
    virtual long FindMethod(const WCHAR_T* wsMethodName) = 0;
    virtual const WCHAR_T* GetMethodName(const long lMethodNum, const long lMethodAlias) = 0;
    virtual long GetNParams(const long lMethodNum) = 0;
    virtual bool GetParamDefValue(const long lMethodNum, const long lParamNum,
                                  V8Variant* pvarParamDefValue) = 0;
    virtual bool HasRetVal(const long lMethodNum) = 0;
    virtual bool CallAsProc(const long lMethodNum, V8Variant* paParams, const long lSizeArray) = 0;
    virtual bool CallAsFunc(const long lMethodNum, V8Variant* pvarRetValue, V8Variant* paParams,
                            const long lSizeArray) = 0;
};

// The locale table.
class TV8LocaleBase {
    QUORVANE_DESTRUCTOR_SLOT(TV8LocaleBase)
    virtual void SetLocale(const WCHAR_T* loc) = 0;
};

// What GetClassObject hands out: the three tables at the start of one object, in this order.
class TV8ComponentBase : public TV8InitDone, public TV8LanguageExtender, public TV8LocaleBase {
#if defined(_WIN32)
protected:
    ~TV8ComponentBase() = default;
#else
public:
    ~TV8ComponentBase() override {}
#endif
};

// AddError arguments of every error the component reports to the host.
constexpr unsigned short kAddInErrorCode = 1006;
// E_FAIL as the platform headers define it for each target (0x80004005L): 2147500037 where long
// has 64 bits, the negative HRESULT where it has 32.
constexpr long kAddInErrorScode = static_cast<long>(0x80004005UL);

// AddError code of a warning (ADDIN_E_ATTENTION); with scode 0 the platform raises nothing.
constexpr unsigned short kAddInWarningCode = 1002;

// GetInfo answer: the Native API version the component speaks.
constexpr long kAddInInfo = 2000;

}  // namespace quorvane

// The three entry points, the only symbols the library exports. A PE file ignores visibility:
// there addin/exports.def names them.
#if defined(_WIN32)
#define QUORVANE_EXPORT
#else
#define QUORVANE_EXPORT __attribute__((visibility("default")))
#endif
extern "C" {
QUORVANE_EXPORT const quorvane::WCHAR_T* GetClassNames();
QUORVANE_EXPORT long GetClassObject(const quorvane::WCHAR_T* wsName, quorvane::TV8ComponentBase** pIntf);
QUORVANE_EXPORT long DestroyObject(quorvane::TV8ComponentBase** pIntf);
}

namespace quorvane {

// Signatures of the entry points, for hosts that resolve them with dlsym.
using TGetClassNamesProc = const WCHAR_T* (*)();
using TGetClassObjectProc = long (*)(const WCHAR_T*, TV8ComponentBase**);
using TDestroyObjectProc = long (*)(TV8ComponentBase**);

}  // namespace quorvane
