#pragma once

/* The platform's host as its compiler lays the tables out, written in C so that it shares nothing
   with the component's C++ header: an interface is a pointer to a table of function pointers.
   On Windows (MSVC) slot 0 is the scalar deleting destructor, one entry, and on x86 every slot is
   __thiscall; on Linux (Itanium ABI) the virtual destructor takes two entries. Host texts are
   16-bit units on both systems. */

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef uint16_t HostChar;

/* The host's value record: 48 bytes on Windows, 64 on Linux x86_64 (the C library's struct tm
   makes the union 56 bytes there). */
#if defined(_WIN32)
#define HOST_VALUE_UNION_BYTES 40
#else
#define HOST_VALUE_UNION_BYTES 56
#endif
typedef struct HostValue {
    union {
        int16_t shortVal;
        int32_t lVal;
        double dblVal;
        unsigned char bVal;
        struct {
            char* pstrVal;
            uint32_t strLen;
        } str;
        struct {
            HostChar* pwstrVal;
            uint32_t wstrLen;
        } wstr;
        unsigned char bytes[HOST_VALUE_UNION_BYTES];
    } u;
    uint32_t cbElements;
    uint32_t vt;
} HostValue;

/* Calls into a component object as handed out by GetClassObject: the initialisation table's pointer
   first, then the language-extension and the locale tables' pointers. */
int host_init(void* component, void* connection);
int host_set_mem_manager(void* component, void* memory);
long host_get_info(void* component);
void host_done(void* component);
void host_set_locale(void* component, const HostChar* locale);

int host_register_extension_as(void* component, HostChar** name);
long host_get_n_props(void* component);
long host_find_prop(void* component, const HostChar* name);
const HostChar* host_get_prop_name(void* component, long prop, long alias);
int host_get_prop_val(void* component, long prop, HostValue* value);
int host_set_prop_val(void* component, long prop, HostValue* value);
int host_is_prop_readable(void* component, long prop);
int host_is_prop_writable(void* component, long prop);
long host_get_n_methods(void* component);
long host_find_method(void* component, const HostChar* name);
const HostChar* host_get_method_name(void* component, long method, long alias);
long host_get_n_params(void* component, long method);
int host_get_param_def_value(void* component, long method, long param, HostValue* value);
int host_has_ret_val(void* component, long method);
int host_call_as_proc(void* component, long method, HostValue* params, long count);
int host_call_as_func(void* component, long method, HostValue* result, HostValue* params, long count);

/* The deleting destructor of the initialisation table: MSVC's scalar one (slot 0, flags bit 0 frees)
   on Windows, the Itanium one (slot 1) on Linux. */
void* host_delete(void* component, unsigned flags);

/* Host objects the component calls, laid out the same way; they count what reached them. An
   optional sink sees every error the component reports. */
typedef struct HostMemory {
    const void* table;
    int allocs;
    int frees;
} HostMemory;
void host_memory_init(HostMemory* memory);
/* Frees a block the component handed over, as the platform does with what it receives. */
void host_memory_free(HostMemory* memory, void* block);

typedef struct HostConnection HostConnection;
typedef void (*HostErrorSink)(HostConnection* connection, unsigned short wcode, const HostChar* source,
                              const HostChar* descr, long scode);
struct HostConnection {
    const void* table;
    int errors;
    unsigned short last_wcode;
    long last_scode;
    HostChar last_descr[64];
    HostErrorSink sink;
};
void host_connection_init(HostConnection* connection);

#ifdef __cplusplus
}
#endif
