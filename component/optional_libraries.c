/* zint and libzip are loaded on first use rather than with the component: both have no static
   archive on Debian, and without them the component still loads and prints; only barcodes drawn
   as pictures (zint) or the help window (libzip) then fail, through the libraries' own error
   paths, with a text naming the missing library. The sonames are those the build compiled
   against (CMake passes them), so the structures in the headers match. */

#define _GNU_SOURCE
#include <dlfcn.h>
#include <pthread.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <zint.h>
#include <zip.h>

#define MISSING_TEXT(soname) "не установлена библиотека " soname

/* ISO C has no cast from dlsym's object pointer to a function pointer; POSIX makes the bytes one. */
typedef void (*any_function)(void);

/* Resolves every name of ANames into ASlots from ASoname, or nothing at all. */
static void* load_all(const char* ASoname, const char* const* ANames, any_function* ASlots, size_t ACount) {
    void* handle = dlopen(ASoname, RTLD_NOW | RTLD_LOCAL);
    if (handle == NULL) return NULL;
    for (size_t i = 0; i < ACount; ++i) {
        void* address = dlsym(handle, ANames[i]);
        if (address == NULL) {
            dlclose(handle);
            return NULL;
        }
        memcpy(&ASlots[i], &address, sizeof address);
    }
    return handle;
}

/* zint */

enum { Z_CREATE, Z_DELETE, Z_ENCODE, Z_BUFFER, Z_COUNT };
static const char* const zint_names[Z_COUNT] = {"ZBarcode_Create", "ZBarcode_Delete", "ZBarcode_Encode",
                                                "ZBarcode_Buffer"};
static any_function zint_slots[Z_COUNT];
static void* zint_handle;
static pthread_once_t zint_once = PTHREAD_ONCE_INIT;
static void load_zint(void) { zint_handle = load_all(QUORVANE_ZINT_SONAME, zint_names, zint_slots, Z_COUNT); }
static int zint_loaded(void) {
    pthread_once(&zint_once, load_zint);
    return zint_handle != NULL;
}

/* Without zint a zeroed symbol stands in, so that its error text can carry the reason. */
struct zint_symbol* ZBarcode_Create(void) {
    if (!zint_loaded()) return calloc(1, sizeof(struct zint_symbol));
    return ((struct zint_symbol * (*)(void)) zint_slots[Z_CREATE])();
}

void ZBarcode_Delete(struct zint_symbol* ASymbol) {
    if (!zint_loaded()) {
        free(ASymbol);
        return;
    }
    ((void (*)(struct zint_symbol*))zint_slots[Z_DELETE])(ASymbol);
}

static int zint_missing(struct zint_symbol* ASymbol) {
    snprintf(ASymbol->errtxt, sizeof ASymbol->errtxt, "%s", MISSING_TEXT(QUORVANE_ZINT_SONAME));
    return ZINT_ERROR_ENCODING_PROBLEM;
}

int ZBarcode_Encode(struct zint_symbol* ASymbol, const unsigned char* ASource, int ALength) {
    if (!zint_loaded()) return zint_missing(ASymbol);
    return ((int (*)(struct zint_symbol*, const unsigned char*, int))zint_slots[Z_ENCODE])(ASymbol, ASource,
                                                                                           ALength);
}

int ZBarcode_Buffer(struct zint_symbol* ASymbol, int ARotation) {
    if (!zint_loaded()) return zint_missing(ASymbol);
    return ((int (*)(struct zint_symbol*, int))zint_slots[Z_BUFFER])(ASymbol, ARotation);
}

/* libzip: without it no archive opens; every other call needs an open archive. */

enum {
    ZIP_OPEN,
    ZIP_DISCARD,
    ZIP_ERROR_INIT,
    ZIP_ERROR_STRERROR,
    ZIP_ERROR_FINI,
    ZIP_NUM_ENTRIES,
    ZIP_GET_NAME,
    ZIP_FOPEN_INDEX,
    ZIP_FREAD,
    ZIP_FCLOSE,
    ZIP_STRERROR,
    ZIP_COUNT
};
static const char* const zip_names[ZIP_COUNT] = {
    "zip_open",           "zip_discard",     "zip_error_init_with_code",
    "zip_error_strerror", "zip_error_fini",  "zip_get_num_entries",
    "zip_get_name",       "zip_fopen_index", "zip_fread",
    "zip_fclose",         "zip_strerror"};
static any_function zip_slots[ZIP_COUNT];
static void* zip_handle;
static pthread_once_t zip_once = PTHREAD_ONCE_INIT;
static void load_zip(void) { zip_handle = load_all(QUORVANE_LIBZIP_SONAME, zip_names, zip_slots, ZIP_COUNT); }
static int zip_loaded(void) {
    pthread_once(&zip_once, load_zip);
    return zip_handle != NULL;
}

zip_t* zip_open(const char* APath, int AFlags, int* AError) {
    if (!zip_loaded()) {
        if (AError != NULL) *AError = ZIP_ER_OPEN;
        return NULL;
    }
    return ((zip_t * (*)(const char*, int, int*)) zip_slots[ZIP_OPEN])(APath, AFlags, AError);
}

void zip_error_init_with_code(zip_error_t* AError, int ACode) {
    if (!zip_loaded()) {
        AError->zip_err = ACode;
        AError->sys_err = 0;
        AError->str = NULL;
        return;
    }
    ((void (*)(zip_error_t*, int))zip_slots[ZIP_ERROR_INIT])(AError, ACode);
}

const char* zip_error_strerror(zip_error_t* AError) {
    if (!zip_loaded()) return MISSING_TEXT(QUORVANE_LIBZIP_SONAME);
    return ((const char* (*)(zip_error_t*))zip_slots[ZIP_ERROR_STRERROR])(AError);
}

void zip_error_fini(zip_error_t* AError) {
    if (zip_loaded()) ((void (*)(zip_error_t*))zip_slots[ZIP_ERROR_FINI])(AError);
}

/* Reached only with an archive zip_open returned, so libzip is loaded. */
void zip_discard(zip_t* A) { ((void (*)(zip_t*))zip_slots[ZIP_DISCARD])(A); }
zip_int64_t zip_get_num_entries(zip_t* A, zip_flags_t F) {
    return ((zip_int64_t(*)(zip_t*, zip_flags_t))zip_slots[ZIP_NUM_ENTRIES])(A, F);
}
const char* zip_get_name(zip_t* A, zip_uint64_t I, zip_flags_t F) {
    return ((const char* (*)(zip_t*, zip_uint64_t, zip_flags_t))zip_slots[ZIP_GET_NAME])(A, I, F);
}
zip_file_t* zip_fopen_index(zip_t* A, zip_uint64_t I, zip_flags_t F) {
    return ((zip_file_t * (*)(zip_t*, zip_uint64_t, zip_flags_t)) zip_slots[ZIP_FOPEN_INDEX])(A, I, F);
}
zip_int64_t zip_fread(zip_file_t* A, void* B, zip_uint64_t N) {
    return ((zip_int64_t(*)(zip_file_t*, void*, zip_uint64_t))zip_slots[ZIP_FREAD])(A, B, N);
}
int zip_fclose(zip_file_t* A) { return ((int (*)(zip_file_t*))zip_slots[ZIP_FCLOSE])(A); }
const char* zip_strerror(zip_t* A) { return ((const char* (*)(zip_t*))zip_slots[ZIP_STRERROR])(A); }
