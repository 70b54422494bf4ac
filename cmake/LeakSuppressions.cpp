// Linked into every program of a sanitizer build. fontconfig loses a few
// small allocations while it parses its configuration (FcInit, nested
// includes); they live for the process and are not ours to free.
extern "C" const char *__lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }

// Programs' output stays theirs: no table of the suppressions used at exit.
extern "C" const char *__lsan_default_options() { return "print_suppressions=0"; }
