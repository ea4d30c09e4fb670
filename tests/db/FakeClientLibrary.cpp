// Stand-ins for the client library, built as shared libraries for the cases
// a real one never shows: an entry point missing (FAKE_WITHOUT_ESCAPE), a
// library that cannot make a connection handle, and a MySQL server, which
// takes every statement but knows no @@wsrep_on (FAKE_MYSQL_SERVER).
#include <fcntl.h>

#include <string_view>

extern "C" {

struct MYSQL;
struct MYSQL_RES;

#ifdef FAKE_MYSQL_SERVER
constexpr bool kConnects = true;
#else
constexpr bool kConnects = false;
#endif
constexpr unsigned kUnknownSystemVariable = 1193;
static char connection, result;
static unsigned last_error = 1;

MYSQL* mysql_init(MYSQL*) { return kConnects ? reinterpret_cast<MYSQL*>(&connection) : nullptr; }
MYSQL* mysql_real_connect(MYSQL* mysql, const char*, const char*, const char*, const char*,
                          unsigned, const char*, unsigned long) {
  return kConnects ? mysql : nullptr;
}
int mysql_real_query(MYSQL*, const char* query, unsigned long length) {
  if (kConnects) {
    last_error = std::string_view(query, length).find("@@wsrep_on") == std::string_view::npos
                     ? 0
                     : kUnknownSystemVariable;
  }
  return last_error != 0;
}
int mysql_send_query(MYSQL*, const char*, unsigned long) { return !kConnects; }
char mysql_read_query_result(MYSQL*) { return !kConnects; }
const char* mysql_error(MYSQL*) { return "fake"; }
const char* mysql_info(MYSQL*) { return "Rows matched: 1  Changed: 1  Warnings: 0"; }
unsigned mysql_errno(MYSQL*) { return last_error; }
void mysql_close(MYSQL*) {}
unsigned long mysql_real_escape_string(MYSQL*, char*, const char*, unsigned long) { return 0; }
int mysql_set_character_set(MYSQL*, const char*) { return 1; }
const char* mysql_character_set_name(MYSQL*) { return "fake"; }
char mysql_ssl_set(MYSQL*, const char*, const char*, const char*, const char*, const char*) {
  return 1;
}
int mysql_options(MYSQL*, int, const void*) { return !kConnects; }
// Always readable: every answer has begun.
int mysql_get_socket(MYSQL*) { return kConnects ? open("/dev/null", O_RDONLY) : -1; }
const char* mysql_get_ssl_cipher(MYSQL*) { return nullptr; }
MYSQL_RES* mysql_store_result(MYSQL*) {
  return kConnects ? reinterpret_cast<MYSQL_RES*>(&result) : nullptr;
}
// The probe's row: max_allowed_packet, sql_mode, character_set_client and
// autocommit.
char** mysql_fetch_row(MYSQL_RES*) {
  static const char* row[] = {"16777216", "STRICT_TRANS_TABLES", "fake", "1"};
  return const_cast<char**>(row);
}
void mysql_free_result(MYSQL_RES*) {}
#ifndef FAKE_WITHOUT_ESCAPE
unsigned long mysql_escape_string(char*, const char*, unsigned long) { return 0; }
#endif
}
