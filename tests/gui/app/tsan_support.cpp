// Under ThreadSanitizer (-DKVX_TSAN=ON): the distribution's Qt libraries are not instrumented, so
// the sanitizer cannot see the locks inside them; it checks our code and the core, and leaves
// the accesses Qt makes itself alone.
#if defined(__SANITIZE_THREAD__)
extern "C" const char* __tsan_default_options() { return "ignore_noninstrumented_modules=1"; }
#endif
