#pragma once

/* The platform's Windows host as MSVC lays it out, written in C so that it shares nothing with the
   component's C++ header: an interface is a pointer to a table of function pointers, slot 0 is the
   scalar deleting destructor (one entry), and on x86 every slot is __thiscall. */

#include <wchar.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Calls into a component object as handed out by GetClassObject: the initialisation table's pointer
   first, then the language-extension and the locale tables' pointers. */
int host_init(void* component, void* connection);
int host_set_mem_manager(void* component, void* memory);
long host_get_info(void* component);
void host_done(void* component);
long host_get_n_methods(void* component);
long host_find_method(void* component, const wchar_t* name);
void host_set_locale(void* component, const wchar_t* locale);
void* host_delete(void* component, unsigned flags);

/* Host objects the component calls, laid out the same way; they count what reached them. */
typedef struct HostMemory {
    const void* table;
    int allocs;
    int frees;
} HostMemory;
void host_memory_init(HostMemory* memory);

typedef struct HostConnection {
    const void* table;
    int errors;
    unsigned short last_wcode;
    long last_scode;
    wchar_t last_descr[64];
} HostConnection;
void host_connection_init(HostConnection* connection);

#ifdef __cplusplus
}
#endif
