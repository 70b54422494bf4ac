// Linked into every program of a sanitizer build. fontconfig loses a few
// small allocations while it parses its configuration (FcInit, nested
// includes); they live for the process and are not ours to free. So do GTK
// and the libraries under it once a window was shown in the process (the
// preview tests show it in the test program itself).
extern "C" const char *__lsan_default_suppressions() {
  return "leak:libfontconfig.so\nleak:libgtk-3.so\nleak:libgdk-3.so\nleak:libglib-2.0.so\n"
         "leak:libgobject-2.0.so\nleak:libgio-2.0.so\nleak:libdbus-1.so\nleak:libpango\nleak:libatk\n"
         "leak:libatspi\n";
}

// Programs' output stays theirs: no table of the suppressions used at exit.
extern "C" const char *__lsan_default_options() { return "print_suppressions=0"; }
