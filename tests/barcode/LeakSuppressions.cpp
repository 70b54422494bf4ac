// fontconfig keeps a few small allocations from pattern substitution for the
// life of the process (a minimal program calling FcConfigSubstitute shows the
// same); they are not ours to free.
extern "C" const char *__lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }
