// ThreadSanitizer's options, built into every test program of that build.
// Qt and GLib are not built with it: their own memory accesses are invisible,
// but the libc calls they make (memmove, free, write) are intercepted while the
// futexes that order them are not, so every hand-over inside Qt would be
// reported. Only calls from the project's own, instrumented code count.
extern "C" const char* __tsan_default_options();
extern "C" const char* __tsan_default_options() {
    return "ignore_noninstrumented_modules=1:second_deadlock_stack=1";
}
