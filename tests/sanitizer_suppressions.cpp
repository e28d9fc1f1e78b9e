// Linked into every test program of a sanitizer build: leaks inside system libraries that no
// caller can free. fontconfig keeps parts of its parsed configuration for the life of the process.
extern "C" __attribute__((visibility("default"))) const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }
