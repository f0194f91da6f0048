#include "platform/shared_library.h"

#include <dlfcn.h>

#include "platform/trace.h"

namespace platform {

SymbolBinder::SymbolBinder(const char* soname) : soname_(soname) {
    // Local binding: the library's symbols must not resolve a host program's own, nor the
    // other way round.
    handle_ = dlopen(soname, RTLD_NOW | RTLD_LOCAL);
    if (!handle_) {
        const char* why = dlerror();
        failure_ = why ? why : "cannot be opened";
    }
}

SymbolBinder::~SymbolBinder() {
    if (handle_ && !failure_.empty())
        dlclose(handle_);
}

void* SymbolBinder::address(const char* name) {
    if (!handle_)
        return nullptr;
    // Found in the library or in one it depends on (GIO's table takes GLib's functions too).
    void* found = dlsym(handle_, name);
    if (!found && failure_.empty())
        failure_ = std::string("no symbol ") + name;
    return found;
}

bool SymbolBinder::finish() {
    if (failure_.empty())
        return true;
    traceNarrow(soname_ + " could not be loaded: " + failure_);
    return false;
}

}  // namespace platform
