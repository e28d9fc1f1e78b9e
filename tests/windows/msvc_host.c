#include "msvc_host.h"

#include <stdlib.h>
#include <string.h>

#if defined(__i386__)
#define THISCALL __attribute__((thiscall))
#else
#define THISCALL
#endif

#if defined(_WIN32)
_Static_assert(sizeof(HostValue) == 48, "MSVC's value record");
_Static_assert(offsetof(HostValue, cbElements) == 40 && offsetof(HostValue, vt) == 44, "MSVC's value record");
/* The destructor takes slot 0 alone. */
#define DESTRUCTOR_SLOTS 1
#else
_Static_assert(sizeof(HostValue) == 64, "the Linux value record");
_Static_assert(offsetof(HostValue, cbElements) == 56 && offsetof(HostValue, vt) == 60, "the Linux value record");
/* Complete and deleting destructor. */
#define DESTRUCTOR_SLOTS 2
#endif
_Static_assert(sizeof(HostChar) == 2, "host texts are 16-bit units");

/* A table entry of any type; each call casts it to the slot's own. */
typedef void (*AnySlot)(void);

/* Slot numbers as the platform counts them after its destructor slot. */
#define SLOT(n) ((n) + DESTRUCTOR_SLOTS - 1)
enum { kInit = 1, kSetMemManager = 2, kGetInfo = 3, kDone = 4 };
enum {
    kRegisterExtensionAs = 1,
    kGetNProps,
    kFindProp,
    kGetPropName,
    kGetPropVal,
    kSetPropVal,
    kIsPropReadable,
    kIsPropWritable,
    kGetNMethods,
    kFindMethod,
    kGetMethodName,
    kGetNParams,
    kGetParamDefValue,
    kHasRetVal,
    kCallAsProc,
    kCallAsFunc
};
enum { kSetLocale = 1 };

static AnySlot slot_of(void* object, int n) { return (*(const AnySlot* const*)object)[SLOT(n)]; }
static void* language_of(void* component) { return (char*)component + sizeof(void*); }
static void* locale_of(void* component) { return (char*)component + 2 * sizeof(void*); }

/* Slot signatures; the object is the first argument (ECX on x86). */
typedef _Bool(THISCALL* BoolOfPointer)(void*, void*);
typedef long(THISCALL* LongOfNothing)(void*);
typedef void(THISCALL* VoidOfNothing)(void*);
typedef void(THISCALL* VoidOfText)(void*, const HostChar*);
typedef _Bool(THISCALL* BoolOfTextOut)(void*, HostChar**);
typedef long(THISCALL* LongOfText)(void*, const HostChar*);
typedef const HostChar*(THISCALL* TextOfTwo)(void*, long, long);
typedef _Bool(THISCALL* BoolOfValue)(void*, long, HostValue*);
typedef _Bool(THISCALL* BoolOfNumber)(void*, long);
typedef long(THISCALL* LongOfNumber)(void*, long);
typedef _Bool(THISCALL* BoolOfDefault)(void*, long, long, HostValue*);
typedef _Bool(THISCALL* BoolOfProc)(void*, long, HostValue*, long);
typedef _Bool(THISCALL* BoolOfFunc)(void*, long, HostValue*, HostValue*, long);

int host_init(void* component, void* connection) {
    return ((BoolOfPointer)slot_of(component, kInit))(component, connection);
}

int host_set_mem_manager(void* component, void* memory) {
    return ((BoolOfPointer)slot_of(component, kSetMemManager))(component, memory);
}

long host_get_info(void* component) { return ((LongOfNothing)slot_of(component, kGetInfo))(component); }

void host_done(void* component) { ((VoidOfNothing)slot_of(component, kDone))(component); }

void host_set_locale(void* component, const HostChar* locale) {
    void* object = locale_of(component);
    ((VoidOfText)slot_of(object, kSetLocale))(object, locale);
}

int host_register_extension_as(void* component, HostChar** name) {
    void* object = language_of(component);
    return ((BoolOfTextOut)slot_of(object, kRegisterExtensionAs))(object, name);
}

long host_get_n_props(void* component) {
    void* object = language_of(component);
    return ((LongOfNothing)slot_of(object, kGetNProps))(object);
}

long host_find_prop(void* component, const HostChar* name) {
    void* object = language_of(component);
    return ((LongOfText)slot_of(object, kFindProp))(object, name);
}

const HostChar* host_get_prop_name(void* component, long prop, long alias) {
    void* object = language_of(component);
    return ((TextOfTwo)slot_of(object, kGetPropName))(object, prop, alias);
}

int host_get_prop_val(void* component, long prop, HostValue* value) {
    void* object = language_of(component);
    return ((BoolOfValue)slot_of(object, kGetPropVal))(object, prop, value);
}

int host_set_prop_val(void* component, long prop, HostValue* value) {
    void* object = language_of(component);
    return ((BoolOfValue)slot_of(object, kSetPropVal))(object, prop, value);
}

int host_is_prop_readable(void* component, long prop) {
    void* object = language_of(component);
    return ((BoolOfNumber)slot_of(object, kIsPropReadable))(object, prop);
}

int host_is_prop_writable(void* component, long prop) {
    void* object = language_of(component);
    return ((BoolOfNumber)slot_of(object, kIsPropWritable))(object, prop);
}

long host_get_n_methods(void* component) {
    void* object = language_of(component);
    return ((LongOfNothing)slot_of(object, kGetNMethods))(object);
}

long host_find_method(void* component, const HostChar* name) {
    void* object = language_of(component);
    return ((LongOfText)slot_of(object, kFindMethod))(object, name);
}

const HostChar* host_get_method_name(void* component, long method, long alias) {
    void* object = language_of(component);
    return ((TextOfTwo)slot_of(object, kGetMethodName))(object, method, alias);
}

long host_get_n_params(void* component, long method) {
    void* object = language_of(component);
    return ((LongOfNumber)slot_of(object, kGetNParams))(object, method);
}

int host_get_param_def_value(void* component, long method, long param, HostValue* value) {
    void* object = language_of(component);
    return ((BoolOfDefault)slot_of(object, kGetParamDefValue))(object, method, param, value);
}

int host_has_ret_val(void* component, long method) {
    void* object = language_of(component);
    return ((BoolOfNumber)slot_of(object, kHasRetVal))(object, method);
}

int host_call_as_proc(void* component, long method, HostValue* params, long count) {
    void* object = language_of(component);
    return ((BoolOfProc)slot_of(object, kCallAsProc))(object, method, params, count);
}

int host_call_as_func(void* component, long method, HostValue* result, HostValue* params, long count) {
    void* object = language_of(component);
    return ((BoolOfFunc)slot_of(object, kCallAsFunc))(object, method, result, params, count);
}

void* host_delete(void* component, unsigned flags) {
    const AnySlot* table = *(const AnySlot* const*)component;
#if DESTRUCTOR_SLOTS == 1
    return ((void*(THISCALL*)(void*, unsigned))table[0])(component, flags);
#else
    /* The deleting destructor follows the complete one; it always frees. */
    (void)flags;
    ((void (*)(void*))table[1])(component);
    return component;
#endif
}

/* The destructor entries of the host's own objects; the component never calls them. */
static void* THISCALL object_delete(void* self, unsigned flags) {
    (void)flags;
    return self;
}

#if DESTRUCTOR_SLOTS == 1
#define DESTRUCTOR_ENTRIES (AnySlot) object_delete
#else
#define DESTRUCTOR_ENTRIES (AnySlot) object_delete, (AnySlot)object_delete
#endif

/* Memory manager: AllocMemory, FreeMemory. */
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

static const AnySlot memory_table[] = {DESTRUCTOR_ENTRIES, (AnySlot)memory_alloc, (AnySlot)memory_free};

void host_memory_init(HostMemory* memory) {
    memory->table = memory_table;
    memory->allocs = 0;
    memory->frees = 0;
}

void host_memory_free(HostMemory* memory, void* block) {
    if (block != NULL) memory_free(memory, &block);
}

/* Connection: AddError; the other slots are never called. */
static _Bool THISCALL connection_add_error(HostConnection* self, unsigned short wcode, const HostChar* source,
                                           const HostChar* descr, long scode) {
    size_t n = 0;
    ++self->errors;
    self->last_wcode = wcode;
    self->last_scode = scode;
    while (descr != NULL && descr[n] != 0 && n < 63) {
        self->last_descr[n] = descr[n];
        ++n;
    }
    self->last_descr[n] = 0;
    if (self->sink != NULL) self->sink(self, wcode, source, descr, scode);
    return 1;
}

static const AnySlot connection_table[] = {DESTRUCTOR_ENTRIES, (AnySlot)connection_add_error};

void host_connection_init(HostConnection* connection) {
    memset(connection, 0, sizeof *connection);
    connection->table = connection_table;
}
