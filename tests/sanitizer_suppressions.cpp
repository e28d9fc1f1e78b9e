// Linked into every test program of a sanitizer build: leaks inside system libraries that no
// caller can free. fontconfig keeps parts of its parsed configuration for the life of the process.
extern "C" __attribute__((visibility("default"))) const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n";
}
// ThreadSanitizer sees only instrumented code. fontconfig and HarfBuzz publish what they build
// once (configuration, font data shared by every thread's font map) with atomic operations it
// cannot observe; cairo hands freed patterns from one thread to the next through a lock-free
// pool of the same kind; and GLib's mutexes, which hand work to Pango's own threads
// ("[pango] FcInit", "[pango] FcFontSetMatch"), are bare futexes it does not know.
extern "C" __attribute__((visibility("default"))) const char* __tsan_default_suppressions() {
    return "race:libfontconfig.so\nrace:libharfbuzz.so\nrace:libglib-2.0.so\nrace:libcairo.so\n";
}
