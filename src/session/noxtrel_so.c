/* The shared library is noxtrel_core linked whole; exports.map keeps only the Nx functions visible.
 * Loading the library creates the session and its objects; unloading frees them. */
void nx_library_attach(void);
void nx_library_detach(void);

__attribute__((constructor)) static void NxProcessAttach(void) { nx_library_attach(); }
__attribute__((destructor)) static void NxProcessDetach(void) { nx_library_detach(); }
