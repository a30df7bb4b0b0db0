/* The two functions intro-tiny imports, under the C library's run-time name but without symbol
   versions. Linked against this instead of the real library, the program's references carry no
   version, and the loader binds them to the library's default dlopen and dlsym. Never run. */
void *dlopen(const char *file, int mode) { (void)file; (void)mode; return 0; }
void *dlsym(void *handle, const char *name) { (void)handle; (void)name; return 0; }
