// Binding to the MySQL client library, which is loaded at run time and never
// linked. The library is loaded before main and unloaded at every orderly
// exit; the entry points below may be called only while ClientLibraryStatus
// is Ready. Only the entry points the program calls are resolved.
#ifndef VENDRAKE_DB_MYSQL_H_
#define VENDRAKE_DB_MYSQL_H_

#include <cstdint>

namespace vendrake {

// The client library's connection handle and result set; only pointers to
// them are used.
struct MYSQL;
struct MYSQL_RES;
// A fetched row: one zero-terminated text per column, null for SQL NULL.
using MYSQL_ROW = char**;

enum class TClientLibraryStatus : uint8_t { Undefined, Missing, Incompatible, Ready };

// Outcome of the last load or unload.
extern TClientLibraryStatus ClientLibraryStatus;

// Entry points, with the signatures the client library publishes. Null
// until a load finds them.
extern MYSQL* (*mysql_init)(MYSQL* mysql);
extern MYSQL* (*mysql_real_connect)(MYSQL* mysql, const char* host, const char* user,
                                    const char* password, const char* database, unsigned int port,
                                    const char* unix_socket, unsigned long client_flags);
extern int (*mysql_real_query)(MYSQL* mysql, const char* query, unsigned long length);
// mysql_real_query in two halves: sending, and reading the outcome, with
// non-zero for a failure either way.
extern int (*mysql_send_query)(MYSQL* mysql, const char* query, unsigned long length);
extern char (*mysql_read_query_result)(MYSQL* mysql);
extern const char* (*mysql_error)(MYSQL* mysql);
// What the last statement did, as text; null for most statements.
extern const char* (*mysql_info)(MYSQL* mysql);
extern unsigned int (*mysql_errno)(MYSQL* mysql);
extern void (*mysql_close)(MYSQL* mysql);
extern unsigned long (*mysql_escape_string)(char* to, const char* from, unsigned long length);
// Escapes for the connection's character set, as mysql_set_character_set
// told the library.
extern unsigned long (*mysql_real_escape_string)(MYSQL* mysql, char* to, const char* from,
                                                 unsigned long length);
extern int (*mysql_set_character_set)(MYSQL* mysql, const char* name);
extern const char* (*mysql_character_set_name)(MYSQL* mysql);
// Before connecting: asks for TLS, trusting ca (a file) or capath (a
// directory) when given; any may be null.
extern char (*mysql_ssl_set)(MYSQL* mysql, const char* key, const char* cert, const char* ca,
                             const char* capath, const char* cipher);
// Options set before connecting, with the numbers of the client library's
// enum mysql_option. The timeouts take an unsigned int of seconds, the
// certificate check a one-byte flag.
enum class TMysqlOption : int {
  ConnectTimeout = 0,
  ReadTimeout = 11,
  WriteTimeout = 12,
  SslVerifyServerCert = 21,
};
extern int (*mysql_options)(MYSQL* mysql, TMysqlOption option, const void* arg);
// The cipher of an encrypted connection, null for clear text.
extern const char* (*mysql_get_ssl_cipher)(MYSQL* mysql);
// The connection's socket, to wait on for an answer.
extern int (*mysql_get_socket)(MYSQL* mysql);
extern MYSQL_RES* (*mysql_store_result)(MYSQL* mysql);
extern MYSQL_ROW (*mysql_fetch_row)(MYSQL_RES* result);
extern void (*mysql_free_result)(MYSQL_RES* result);

// Unloads any library loaded before, then loads library_name, or with null
// the first of the usual client library names that loads. Missing when no
// file loads, Incompatible when an entry point is absent, else Ready.
TClientLibraryStatus LoadClientLibrary(const char* library_name);

// Unloads the library, if one is loaded; the status becomes Undefined.
void FreeClientLibrary();

}  // namespace vendrake

#endif  // VENDRAKE_DB_MYSQL_H_
