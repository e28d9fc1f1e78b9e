/* The statically linked C++ runtime asks glibc for what is newer than the rest of the library
   needs: arc4random (2.36, std::random_device), _dl_find_object (2.35, the exception unwinder)
   and __libc_single_threaded (2.32). These private stand-ins, built on older calls, keep the
   package (built against glibc 2.31 headers) loadable with glibc 2.28 (Astra Linux SE 1.7,
   RED OS 7.3, RHEL 8). The linker takes them before the system's, and hidden visibility keeps
   them inside the library. */

#define _GNU_SOURCE
#include <dlfcn.h>
#include <link.h>
#include <stdint.h>
#include <string.h>
#include <sys/random.h>

/* Built against a glibc older than 2.32 (the package's system root), the runtime still asks for
   __libc_single_threaded. Zero claims "maybe several threads", always true to act on: reference
   counts then stay atomic, as they would on any glibc once a second thread starts. */
#if !__GLIBC_PREREQ(2, 32)
char __libc_single_threaded = 0;
#endif

uint32_t arc4random(void) {
    uint32_t value;
    while (getrandom(&value, sizeof value, 0) != (ssize_t)sizeof value) {
    }
    return value;
}

/* Older glibc headers lack the structure; the runtime was built with this one (x86_64). */
#if !__GLIBC_PREREQ(2, 35)
struct dl_find_object {
    unsigned long long int dlfo_flags;
    void* dlfo_map_start;
    void* dlfo_map_end;
    struct link_map* dlfo_link_map;
    void* dlfo_eh_frame;
    unsigned long long int __dlfo_reserved[7];
};
int _dl_find_object(void* pc, struct dl_find_object* result);
#endif

struct find_request {
    uintptr_t pc;
    struct dl_find_object* result;
    int found;
};

static int find_in_object(struct dl_phdr_info* info, size_t size, void* data) {
    (void)size;
    struct find_request* request = data;
    const ElfW(Phdr)* segment = NULL;
    const ElfW(Phdr)* eh_frame = NULL;
    for (ElfW(Half) i = 0; i < info->dlpi_phnum; ++i) {
        const ElfW(Phdr)* p = &info->dlpi_phdr[i];
        if (p->p_type == PT_LOAD) {
            const uintptr_t start = info->dlpi_addr + p->p_vaddr;
            if (request->pc >= start && request->pc < start + p->p_memsz) segment = p;
        } else if (p->p_type == PT_GNU_EH_FRAME) {
            eh_frame = p;
        }
    }
    if (segment == NULL) return 0;
    memset(request->result, 0, sizeof *request->result);
    request->result->dlfo_map_start = (void*)(info->dlpi_addr + segment->p_vaddr);
    request->result->dlfo_map_end = (void*)(info->dlpi_addr + segment->p_vaddr + segment->p_memsz);
    request->result->dlfo_eh_frame = eh_frame ? (void*)(info->dlpi_addr + eh_frame->p_vaddr) : NULL;
    request->found = 1;
    return 1;
}

int _dl_find_object(void* pc, struct dl_find_object* result) {
    struct find_request request = {(uintptr_t)pc, result, 0};
    dl_iterate_phdr(find_in_object, &request);
    return request.found ? 0 : -1;
}
