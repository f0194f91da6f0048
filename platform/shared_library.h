#pragma once

// System libraries that only some calls need (the SMB client, GIO, libsecret) are opened on the
// first call that needs them, so that a program which only discovers devices never loads them.
// A library is opened once for the life of the process and never closed: GLib's type system and
// libsmbclient's global state cannot be taken down again.

#include <memory>
#include <string>

namespace platform {

// Resolves the functions of one library into a table of function pointers. The library is
// opened with its soname; every symbol asked for must be there, else the whole table is unusable
// and `finish` writes one trace line naming what is missing.
class SymbolBinder {
  public:
    explicit SymbolBinder(const char* soname);
    ~SymbolBinder();
    SymbolBinder(const SymbolBinder&) = delete;
    SymbolBinder& operator=(const SymbolBinder&) = delete;

    template <typename Function>
    void bind(const char* name, Function& function) {
        function = reinterpret_cast<Function>(address(name));
    }

    // True when the library was opened and every symbol found; otherwise traces why not and
    // closes the library again.
    bool finish();

  private:
    void* address(const char* name);

    std::string soname_;
    void* handle_ = nullptr;
    std::string failure_;  // the first reason the table is unusable
};

// Opens `soname` and fills a `Table` with `bindAll(binder, table)`; null when that fails.
template <typename Table, typename BindAll>
std::unique_ptr<const Table> loadLibrary(const char* soname, BindAll bindAll) {
    auto table = std::make_unique<Table>();
    SymbolBinder binder(soname);
    bindAll(binder, *table);
    if (!binder.finish())
        return nullptr;
    return table;
}

}  // namespace platform
