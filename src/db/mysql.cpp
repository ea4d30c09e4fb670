#include "db/mysql.h"

#include <dlfcn.h>

namespace vendrake {

TClientLibraryStatus ClientLibraryStatus = TClientLibraryStatus::Undefined;

MYSQL* (*mysql_init)(MYSQL*) = nullptr;
MYSQL* (*mysql_real_connect)(MYSQL*, const char*, const char*, const char*, const char*,
                             unsigned int, const char*, unsigned long) = nullptr;
int (*mysql_real_query)(MYSQL*, const char*, unsigned long) = nullptr;
int (*mysql_send_query)(MYSQL*, const char*, unsigned long) = nullptr;
char (*mysql_read_query_result)(MYSQL*) = nullptr;
const char* (*mysql_error)(MYSQL*) = nullptr;
const char* (*mysql_info)(MYSQL*) = nullptr;
unsigned int (*mysql_errno)(MYSQL*) = nullptr;
void (*mysql_close)(MYSQL*) = nullptr;
unsigned long (*mysql_escape_string)(char*, const char*, unsigned long) = nullptr;
unsigned long (*mysql_real_escape_string)(MYSQL*, char*, const char*, unsigned long) = nullptr;
int (*mysql_set_character_set)(MYSQL*, const char*) = nullptr;
const char* (*mysql_character_set_name)(MYSQL*) = nullptr;
char (*mysql_ssl_set)(MYSQL*, const char*, const char*, const char*, const char*,
                      const char*) = nullptr;
int (*mysql_options)(MYSQL*, TMysqlOption, const void*) = nullptr;
const char* (*mysql_get_ssl_cipher)(MYSQL*) = nullptr;
int (*mysql_get_socket)(MYSQL*) = nullptr;
MYSQL_RES* (*mysql_store_result)(MYSQL*) = nullptr;
MYSQL_ROW (*mysql_fetch_row)(MYSQL_RES*) = nullptr;
void (*mysql_free_result)(MYSQL_RES*) = nullptr;

namespace {

void* ClientLibraryHandle = nullptr;

// MariaDB's Connector/C first, then MySQL's client of the releases that
// still speak to both servers.
constexpr const char* kDefaultLibraries[] = {
    "libmariadb.so.3",      "libmysqlclient.so.21", "libmysqlclient.so.20",
    "libmysqlclient.so.18", "libmariadb.so",        "libmysqlclient.so",
};

// RTLD_NODELETE keeps the code mapped after the handle is released: a
// client library may leave clean-up of its own (thread-local or exit
// handlers) that runs after our unload; it must still find its code then.
void* OpenLibrary(const char* name) { return dlopen(name, RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE); }

void* OpenDefaultLibrary() {
  for (const char* name : kDefaultLibraries) {
    if (void* handle = OpenLibrary(name)) return handle;
  }
  return nullptr;
}

template <typename Function>
void ResolveEntryPoint(Function*& slot, const char* name) {
  slot = reinterpret_cast<Function*>(dlsym(ClientLibraryHandle, name));
  if (slot == nullptr) ClientLibraryStatus = TClientLibraryStatus::Incompatible;
}

// Loads the library before main and unloads it at exit. Constructed ahead of
// the other units' static objects, so it is also destroyed after them.
struct TClientLibraryLifetime {
  TClientLibraryLifetime() { LoadClientLibrary(nullptr); }
  ~TClientLibraryLifetime() { FreeClientLibrary(); }
};
[[gnu::init_priority(101)]] TClientLibraryLifetime ClientLibraryLifetime;

}  // namespace

TClientLibraryStatus LoadClientLibrary(const char* library_name) {
  FreeClientLibrary();
  ClientLibraryHandle = library_name ? OpenLibrary(library_name) : OpenDefaultLibrary();
  if (ClientLibraryHandle == nullptr) {
    ClientLibraryStatus = TClientLibraryStatus::Missing;
    return ClientLibraryStatus;
  }
  ClientLibraryStatus = TClientLibraryStatus::Ready;
  ResolveEntryPoint(mysql_error, "mysql_error");
  ResolveEntryPoint(mysql_info, "mysql_info");
  ResolveEntryPoint(mysql_init, "mysql_init");
  ResolveEntryPoint(mysql_real_connect, "mysql_real_connect");
  ResolveEntryPoint(mysql_real_query, "mysql_real_query");
  ResolveEntryPoint(mysql_send_query, "mysql_send_query");
  ResolveEntryPoint(mysql_read_query_result, "mysql_read_query_result");
  ResolveEntryPoint(mysql_errno, "mysql_errno");
  ResolveEntryPoint(mysql_close, "mysql_close");
  ResolveEntryPoint(mysql_escape_string, "mysql_escape_string");
  ResolveEntryPoint(mysql_real_escape_string, "mysql_real_escape_string");
  ResolveEntryPoint(mysql_set_character_set, "mysql_set_character_set");
  ResolveEntryPoint(mysql_character_set_name, "mysql_character_set_name");
  ResolveEntryPoint(mysql_ssl_set, "mysql_ssl_set");
  ResolveEntryPoint(mysql_options, "mysql_options");
  ResolveEntryPoint(mysql_get_ssl_cipher, "mysql_get_ssl_cipher");
  ResolveEntryPoint(mysql_get_socket, "mysql_get_socket");
  ResolveEntryPoint(mysql_store_result, "mysql_store_result");
  ResolveEntryPoint(mysql_fetch_row, "mysql_fetch_row");
  ResolveEntryPoint(mysql_free_result, "mysql_free_result");
  return ClientLibraryStatus;
}

void FreeClientLibrary() {
  if (ClientLibraryHandle != nullptr) dlclose(ClientLibraryHandle);
  ClientLibraryHandle = nullptr;
  ClientLibraryStatus = TClientLibraryStatus::Undefined;
}

}  // namespace vendrake
