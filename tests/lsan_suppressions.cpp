// libsmbclient keeps some talloc memory of its own for the life of the process (its global
// configuration and name caches), and libsecret loses a few bytes of GIO's asynchronous set-up
// when it makes the objects of found items (whose references we all give back); neither is ours
// to free, so leak checks leave them out.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libtalloc.so\nleak:secret_item_new_for_dbus_path\n";
}
