// libsmbclient keeps some talloc memory of its own for the life of the process (its global
// configuration and name caches); that is not ours to free, so leak checks leave it out.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libtalloc.so\n";
}
