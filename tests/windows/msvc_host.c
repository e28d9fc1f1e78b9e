#include "msvc_host.h"

#include <stdlib.h>

#if defined(__i386__)
#define THISCALL __attribute__((thiscall))
#else
#define THISCALL
#endif

typedef void* (THISCALL* DeleteSlot)(void* self, unsigned flags);
/* A table entry of any type; each call casts it to the slot's own. */
typedef void (*AnySlot)(void);

/* The slot numbers of MSVC's tables: the destructor takes slot 0 alone. */
enum { kInit = 1, kSetMemManager = 2, kGetInfo = 3, kDone = 4 };
enum { kGetNMethods = 9, kFindMethod = 10 };
enum { kSetLocale = 1 };

static const AnySlot* table_of(void* object) { return *(const AnySlot* const*)object; }
static void* language_of(void* component) { return (char*)component + sizeof(void*); }
static void* locale_of(void* component) { return (char*)component + 2 * sizeof(void*); }

int host_init(void* component, void* connection) {
    typedef _Bool (THISCALL* Slot)(void*, void*);
    return ((Slot)table_of(component)[kInit])(component, connection);
}

int host_set_mem_manager(void* component, void* memory) {
    typedef _Bool (THISCALL* Slot)(void*, void*);
    return ((Slot)table_of(component)[kSetMemManager])(component, memory);
}

long host_get_info(void* component) {
    typedef long (THISCALL* Slot)(void*);
    return ((Slot)table_of(component)[kGetInfo])(component);
}

void host_done(void* component) {
    typedef void (THISCALL* Slot)(void*);
    ((Slot)table_of(component)[kDone])(component);
}

long host_get_n_methods(void* component) {
    typedef long (THISCALL* Slot)(void*);
    void* language = language_of(component);
    return ((Slot)table_of(language)[kGetNMethods])(language);
}

long host_find_method(void* component, const wchar_t* name) {
    typedef long (THISCALL* Slot)(void*, const wchar_t*);
    void* language = language_of(component);
    return ((Slot)table_of(language)[kFindMethod])(language, name);
}

void host_set_locale(void* component, const wchar_t* locale) {
    typedef void (THISCALL* Slot)(void*, const wchar_t*);
    void* localeBase = locale_of(component);
    ((Slot)table_of(localeBase)[kSetLocale])(localeBase, locale);
}

void* host_delete(void* component, unsigned flags) {
    return ((DeleteSlot)table_of(component)[0])(component, flags);
}

/* Memory manager: 0 deleting destructor, 1 AllocMemory, 2 FreeMemory. */
static void* THISCALL memory_delete(void* self, unsigned flags) {
    (void)flags;
    return self;
}

static _Bool THISCALL memory_alloc(HostMemory* self, void** block, unsigned long bytes) {
    *block = malloc(bytes);
    if (*block != NULL) ++self->allocs;
    return *block != NULL;
}

static void THISCALL memory_free(HostMemory* self, void** block) {
    free(*block);
    *block = NULL;
    ++self->frees;
}

static const AnySlot memory_table[] = {(AnySlot)memory_delete, (AnySlot)memory_alloc, (AnySlot)memory_free};

void host_memory_init(HostMemory* memory) {
    memory->table = memory_table;
    memory->allocs = 0;
    memory->frees = 0;
}

/* Connection: 0 deleting destructor, 1 AddError; the other slots are never called. */
static _Bool THISCALL connection_add_error(HostConnection* self, unsigned short wcode, const wchar_t* source,
                                           const wchar_t* descr, long scode) {
    (void)source;
    ++self->errors;
    self->last_wcode = wcode;
    self->last_scode = scode;
    wcsncpy(self->last_descr, descr, 63);
    self->last_descr[63] = 0;
    return 1;
}

static const AnySlot connection_table[] = {(AnySlot)memory_delete, (AnySlot)connection_add_error};

void host_connection_init(HostConnection* connection) {
    connection->table = connection_table;
    connection->errors = 0;
    connection->last_wcode = 0;
    connection->last_scode = 0;
    connection->last_descr[0] = 0;
}
