#include "db/MariaDbLibrary.h"

#include <dlfcn.h>

#include <mutex>

namespace {

// The library of the package the program depends on (libmariadb3).
constexpr const char* LibraryName = "libmariadb.so.3";

struct Loaded
{
    MariaDbApi api{};
    bool ok = false;
    std::string error;
};

template <typename Function>
bool Resolve(void* library, const char* name, Function& function, std::string& error)
{
    function = reinterpret_cast<Function>(::dlsym(library, name));
    if (!function)
        error = std::string(LibraryName) + " has no " + name;
    return function != nullptr;
}

Loaded Load()
{
    Loaded loaded;
    // Never closed: results and connections may live until the program ends.
    void* library = ::dlopen(LibraryName, RTLD_NOW | RTLD_LOCAL);
    if (!library) {
        const char* why = ::dlerror();
        loaded.error = why ? why : LibraryName;
        return loaded;
    }
    MariaDbApi& a = loaded.api;
    std::string& e = loaded.error;
    loaded.ok = Resolve(library, "mysql_init", a.init, e)
        && Resolve(library, "mysql_options", a.options, e)
        && Resolve(library, "mysql_real_connect", a.real_connect, e)
        && Resolve(library, "mysql_close", a.close, e)
        && Resolve(library, "mysql_error", a.error, e)
        && Resolve(library, "mysql_errno", a.errnum, e)
        && Resolve(library, "mysql_thread_id", a.thread_id, e)
        && Resolve(library, "mysql_get_socket", a.get_socket, e)
        && Resolve(library, "mysql_real_query", a.real_query, e)
        && Resolve(library, "mysql_store_result", a.store_result, e)
        && Resolve(library, "mysql_field_count", a.field_count, e)
        && Resolve(library, "mysql_free_result", a.free_result, e)
        && Resolve(library, "mysql_fetch_row", a.fetch_row, e)
        && Resolve(library, "mysql_fetch_lengths", a.fetch_lengths, e)
        && Resolve(library, "mysql_num_fields", a.num_fields, e)
        && Resolve(library, "mysql_num_rows", a.num_rows, e)
        && Resolve(library, "mysql_real_escape_string", a.real_escape_string, e);
    return loaded;
}

} // namespace

const MariaDbApi* LoadMariaDb(std::string* error)
{
    static std::once_flag once;
    static Loaded loaded;
    std::call_once(once, [] { loaded = Load(); });
    if (!loaded.ok && error)
        *error = loaded.error;
    return loaded.ok ? &loaded.api : nullptr;
}
