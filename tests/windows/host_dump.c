/* Loads the component as the platform does and calls every entry point, method and property
   through the tables (msvc_host.c), writing one line per answer: names, counts, value kinds and
   values, results and the error texts that reach AddError. Built from this one source for Linux
   and for both Windows targets, so the dumps can be compared line for line.
     host_dump LIBRARY PORT
   PORT: a loopback TCP port where nothing listens; opening the printer there fails the same way
   everywhere. */

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "msvc_host.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

typedef const HostChar* (*GetClassNamesFn)(void);
typedef long (*GetClassObjectFn)(const HostChar*, void**);
typedef long (*DestroyObjectFn)(void**);

typedef void (*AnyFunction)(void);

static AnyFunction load_symbol(const char* library, const char* name) {
#if defined(_WIN32)
    static HMODULE handle;
    if (handle == NULL) handle = LoadLibraryA(library);
    return handle == NULL ? NULL : (AnyFunction)GetProcAddress(handle, name);
#else
    static void* handle;
    void* symbol;
    AnyFunction function = NULL;
    if (handle == NULL) handle = dlopen(library, RTLD_NOW);
    /* dlsym gives an object pointer; POSIX guarantees it holds a function's address. */
    symbol = handle == NULL ? NULL : dlsym(handle, name);
    if (symbol != NULL) memcpy(&function, &symbol, sizeof function);
    return function;
#endif
}

/* ASCII and UTF-8 literals as host texts; the buffer lives until the next call with it. */
static const HostChar* host_text(const char* utf8, HostChar* buffer, size_t size) {
    const unsigned char* s = (const unsigned char*)utf8;
    size_t n = 0;
    while (*s != 0 && n + 1 < size) {
        unsigned code = *s++;
        if (code >= 0xE0) {
            code = (code & 0x0F) << 12;
            code |= (*s++ & 0x3Fu) << 6;
            code |= *s++ & 0x3Fu;
        } else if (code >= 0xC0) {
            code = (code & 0x1F) << 6;
            code |= *s++ & 0x3Fu;
        }
        buffer[n++] = (HostChar)code;
    }
    buffer[n] = 0;
    return buffer;
}

/* A host text as UTF-8 with line breaks shown as \n, so every answer stays on one line. */
static void put_text(const HostChar* text) {
    if (text == NULL) {
        fputs("(null)", stdout);
        return;
    }
    for (; *text != 0; ++text) {
        unsigned code = *text;
        if (code >= 0xD800 && code < 0xDC00 && text[1] >= 0xDC00 && text[1] < 0xE000) {
            code = 0x10000 + ((code - 0xD800) << 10) + (text[1] - 0xDC00);
            ++text;
        }
        if (code == '\n') {
            fputs("\\n", stdout);
        } else if (code == '\r') {
            fputs("\\r", stdout);
        } else if (code < 0x80) {
            putchar((int)code);
        } else if (code < 0x800) {
            putchar((int)(0xC0 | (code >> 6)));
            putchar((int)(0x80 | (code & 0x3F)));
        } else if (code < 0x10000) {
            putchar((int)(0xE0 | (code >> 12)));
            putchar((int)(0x80 | ((code >> 6) & 0x3F)));
            putchar((int)(0x80 | (code & 0x3F)));
        } else {
            putchar((int)(0xF0 | (code >> 18)));
            putchar((int)(0x80 | ((code >> 12) & 0x3F)));
            putchar((int)(0x80 | ((code >> 6) & 0x3F)));
            putchar((int)(0x80 | (code & 0x3F)));
        }
    }
}

static HostMemory memory;

/* The record's kind and value; the host frees a text the component wrote (not one of its own). */
static void put_value(HostValue* value, const void* own) {
    unsigned kind = value->vt & 0xFFF;
    printf("vt=%u ", (unsigned)value->vt);
    switch (kind) {
        case 0: fputs("empty", stdout); break;
        case 2: printf("%d", value->u.shortVal); break;
        case 3: printf("%ld", (long)value->u.lVal); break;
        case 5: printf("%.15g", value->u.dblVal); break;
        case 11: printf("%s", value->u.bVal ? "true" : "false"); break;
        case 22:
            printf("len=%u \"", (unsigned)value->u.wstr.wstrLen);
            put_text(value->u.wstr.pwstrVal);
            putchar('"');
            break;
        default: fputs("(not shown)", stdout); break;
    }
    if ((kind == 22 || kind == 8 || kind == 23) && value->u.str.pstrVal != own) {
        host_memory_free(&memory, value->u.str.pstrVal);
        value->u.str.pstrVal = NULL;
    }
}

static void set_empty(HostValue* value) { memset(value, 0, sizeof *value); }

static void set_int(HostValue* value, int number) {
    set_empty(value);
    value->vt = 3;
    value->u.lVal = number;
}

/* A text record pointing at the caller's buffer, as the platform passes its own strings. */
static void set_text(HostValue* value, const char* utf8, HostChar* buffer, size_t size) {
    size_t n = 0;
    set_empty(value);
    value->vt = 22;
    value->u.wstr.pwstrVal = (HostChar*)host_text(utf8, buffer, size);
    while (buffer[n] != 0) ++n;
    value->u.wstr.wstrLen = (uint32_t)n;
}

static void on_error(HostConnection* connection, unsigned short wcode, const HostChar* source, const HostChar* descr,
                     long scode) {
    (void)connection;
    printf("  AddError wcode=%u scode=0x%08lX source=\"", wcode, (unsigned long)scode & 0xFFFFFFFFul);
    put_text(source);
    fputs("\" descr=\"", stdout);
    put_text(descr);
    puts("\"");
}

/* One call of a method found by its English name, with its parameters as given; prints the
   result, the return value and every parameter after the call. */
static void call(void* component, const char* name, HostValue* params, long count) {
    HostChar buffer[64];
    long method = host_find_method(component, host_text(name, buffer, 64));
    HostValue result;
    long i;
    int ok;
    const void* own[3] = {NULL, NULL, NULL};
    set_empty(&result);
    for (i = 0; i < count && i < 3; ++i)
        if ((params[i].vt & 0xFFF) == 22) own[i] = params[i].u.wstr.pwstrVal;
    printf("CallAsFunc %s(%ld params)\n", name, count);
    fflush(stdout);
    ok = host_call_as_func(component, method, &result, params, count);
    printf("  -> %d, result ", ok);
    put_value(&result, NULL);
    putchar('\n');
    for (i = 0; i < count; ++i) {
        printf("  param %ld: ", i + 1);
        put_value(&params[i], own[i]);
        putchar('\n');
    }
}

static void dump_properties(void* component) {
    long count = host_get_n_props(component), i, alias;
    HostValue value;
    printf("GetNProps -> %ld\n", count);
    for (i = 0; i < count; ++i) {
        printf("prop %ld:", i);
        for (alias = 0; alias < 2; ++alias) {
            const HostChar* name = host_get_prop_name(component, i, alias);
            putchar(' ');
            put_text(name);
            printf(" (FindProp -> %ld)", name == NULL ? -2L : host_find_prop(component, name));
            host_memory_free(&memory, (void*)name);
        }
        printf(" readable %d writable %d\n", host_is_prop_readable(component, i), host_is_prop_writable(component, i));
        set_empty(&value);
        printf("  GetPropVal -> %d ", host_get_prop_val(component, i, &value));
        /* Written back unchanged: the set must take what the get gave. */
        {
            HostValue copy = value;
            printf("SetPropVal(same) -> %d ", host_set_prop_val(component, i, &copy));
        }
        put_value(&value, NULL);
        putchar('\n');
    }
}

static void dump_methods(void* component) {
    long count = host_get_n_methods(component), i, alias, p;
    printf("GetNMethods -> %ld\n", count);
    for (i = 0; i < count; ++i) {
        long params = host_get_n_params(component, i);
        printf("method %ld:", i);
        for (alias = 0; alias < 2; ++alias) {
            const HostChar* name = host_get_method_name(component, i, alias);
            putchar(' ');
            put_text(name);
            printf(" (FindMethod -> %ld)", name == NULL ? -2L : host_find_method(component, name));
            host_memory_free(&memory, (void*)name);
        }
        printf(" GetNParams %ld HasRetVal %d GetParamDefValue", params, host_has_ret_val(component, i));
        for (p = 0; p < params; ++p) {
            HostValue value;
            set_int(&value, 77);
            printf(" %d", host_get_param_def_value(component, i, p, &value));
            if (value.vt != 3 || value.u.lVal != 77) fputs("(record changed)", stdout);
        }
        putchar('\n');
    }
}

/* A property set by number, by its English name. */
static void set_prop(void* component, const char* name, HostValue* value) {
    HostChar buffer[64];
    long prop = host_find_prop(component, host_text(name, buffer, 64));
    HostValue back;
    printf("SetPropVal %s -> %d\n", name, host_set_prop_val(component, prop, value));
    set_empty(&back);
    printf("  GetPropVal -> %d ", host_get_prop_val(component, prop, &back));
    put_value(&back, NULL);
    putchar('\n');
}

static void dump_calls(void* component, const char* port) {
    HostChar b1[256], b2[256];
    HostValue params[3];

    set_empty(&params[0]);
    call(component, "GetInterfaceRevision", params, 0);
    set_empty(&params[0]);
    call(component, "GetDescription", params, 1);
    set_empty(&params[0]);
    call(component, "GetParameters", params, 1);
    set_empty(&params[0]);
    call(component, "GetAdditionalActions", params, 1);

    /* Settings by name and by localized name, and one that does not exist. */
    set_text(&params[0], "InterfaceType", b1, 256);
    set_int(&params[1], 2);
    call(component, "SetParameter", params, 2);
    set_text(&params[0], "IPAddress", b1, 256);
    set_text(&params[1], "127.0.0.1", b2, 256);
    call(component, "SetParameter", params, 2);
    set_text(&params[0], "Порт", b1, 256);
    set_text(&params[1], port, b2, 256);
    call(component, "SetParameter", params, 2);
    set_text(&params[0], "Resolution", b1, 256);
    set_int(&params[1], 203);
    call(component, "SetParameter", params, 2);
    set_text(&params[0], "NoSuchSetting", b1, 256);
    set_int(&params[1], 1);
    call(component, "SetParameter", params, 2);
    set_empty(&params[0]);
    call(component, "GetLastError", params, 1);

    /* Nothing listens on the port. */
    set_empty(&params[0]);
    call(component, "Open", params, 1);
    set_empty(&params[0]);
    call(component, "GetLastError", params, 1);
    set_empty(&params[0]);
    set_empty(&params[1]);
    call(component, "DeviceTest", params, 2);
    set_empty(&params[0]);
    call(component, "InitializePrinter", params, 1);
    /* Not a label document: the reader's error text. */
    set_empty(&params[0]);
    set_text(&params[1], "<Document><Label Width=\"40\"><Text>x</Text></Label></Document>", b1, 256);
    set_text(&params[2], "", b2, 256);
    call(component, "PrintLabels", params, 3);
    set_empty(&params[0]);
    call(component, "GetLastError", params, 1);
    /* A label to print where nothing listens. */
    set_empty(&params[0]);
    set_text(&params[1],
             "<Data><Formatting Width=\"30\" Height=\"20\"><Text FieldName=\"T\" Left=\"1\" Top=\"1\" "
             "Width=\"20\" Height=\"5\"/></Formatting><Labels><Label Quantity=\"1\"><Record FieldName=\"T\" "
             "Value=\"x\"/></Label></Labels></Data>",
             b1, 256);
    set_text(&params[2], "", b2, 256);
    call(component, "PrintLabels", params, 3);
    set_empty(&params[0]);
    call(component, "GetLastError", params, 1);
    set_text(&params[0], "NoSuchAction", b1, 256);
    call(component, "DoAdditionalAction", params, 1);
    set_empty(&params[0]);
    call(component, "GetLastError", params, 1);
    set_empty(&params[0]);
    call(component, "Close", params, 1);

    /* A date as a double is a type no call takes: the call fails before the method runs. */
    set_empty(&params[0]);
    params[0].vt = 6;
    params[0].u.dblVal = 45000.5;
    call(component, "GetDescription", params, 1);
    printf("CallAsProc GetInterfaceRevision -> %d\n",
           host_call_as_proc(component, host_find_method(component, host_text("GetInterfaceRevision", b1, 256)),
                             params, 0));

    /* Properties from other kinds of value. */
    set_text(&params[0], "3", b1, 256);
    set_prop(component, "COMPort", &params[0]);
    set_text(&params[0], "not a number", b1, 256);
    set_prop(component, "COMPort", &params[0]);
    set_text(&params[0], "2.5", b1, 256);
    set_prop(component, "Speed", &params[0]);
    set_int(&params[0], 1);
    set_prop(component, "StretchImage", &params[0]);
    set_int(&params[0], 5);
    set_prop(component, "IPAddress", &params[0]);
    set_int(&params[0], 0);
    printf("GetPropVal 36 -> %d\n", host_get_prop_val(component, 36, &params[0]));
}

int main(int argc, char** argv) {
    GetClassNamesFn get_class_names;
    GetClassObjectFn get_class_object;
    DestroyObjectFn destroy_object;
    HostConnection connection;
    HostChar buffer[64];
    HostChar* extension = NULL;
    void* component = NULL;
    void* other = NULL;

    if (argc != 3) {
        fputs("usage: host_dump LIBRARY PORT\n", stderr);
        return 2;
    }
    get_class_names = (GetClassNamesFn)load_symbol(argv[1], "GetClassNames");
    get_class_object = (GetClassObjectFn)load_symbol(argv[1], "GetClassObject");
    destroy_object = (DestroyObjectFn)load_symbol(argv[1], "DestroyObject");
    if (get_class_names == NULL || get_class_object == NULL || destroy_object == NULL) {
        fprintf(stderr, "host_dump: cannot load the three entry points of %s\n", argv[1]);
        return 2;
    }
    host_memory_init(&memory);
    host_connection_init(&connection);
    connection.sink = on_error;

    fputs("GetClassNames -> ", stdout);
    put_text(get_class_names());
    putchar('\n');
    printf("GetClassObject Quorvane -> %ld, ", get_class_object(host_text("Quorvane", buffer, 64), &component));
    printf("pointer %s\n", component == NULL ? "untouched" : "written");
    printf("GetClassObject quorvane -> %ld\n", get_class_object(host_text("quorvane", buffer, 64), &component));
    if (component == NULL) return 1;

    printf("Init -> %d\n", host_init(component, &connection));
    printf("setMemManager -> %d\n", host_set_mem_manager(component, &memory));
    printf("GetInfo -> %ld\n", host_get_info(component));
    host_set_locale(component, host_text("ru_RU", buffer, 64));
    puts("SetLocale ru_RU");
    printf("RegisterExtensionAs -> %d ", host_register_extension_as(component, &extension));
    put_text(extension);
    putchar('\n');
    host_memory_free(&memory, extension);

    dump_properties(component);
    dump_methods(component);
    dump_calls(component, argv[2]);
    fflush(stdout);

    host_done(component);
    puts("Done");
    printf("DestroyObject -> %ld\n", destroy_object(&component));
    printf("DestroyObject(null) -> %ld\n", destroy_object(&other));

    /* The object freed through its table's deleting destructor (bit 0 set on Windows). */
    if (get_class_object(host_text("quorvane", buffer, 64), &other) == 1) {
        host_init(other, &connection);
        host_set_mem_manager(other, &memory);
        printf("deleting destructor -> %s\n", host_delete(other, 1) == other ? "done" : "another pointer");
    }
    printf("memory blocks: %d allocated, %d freed\n", memory.allocs, memory.frees);
    return 0;
}
