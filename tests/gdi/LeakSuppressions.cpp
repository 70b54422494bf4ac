// fontconfig keeps a few small allocations from loading its configuration
// for the life of the process; they are not ours to free. The metafile
// tests draw text, so they meet them too.
extern "C" const char *__lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }
