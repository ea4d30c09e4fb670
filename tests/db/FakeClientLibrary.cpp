// Stand-ins for the client library, built as shared libraries for the cases
// a real one never shows: an entry point missing (FAKE_WITHOUT_ESCAPE) and a
// library that cannot make a connection handle.
extern "C" {

struct MYSQL;
struct MYSQL_RES;

MYSQL* mysql_init(MYSQL*) { return nullptr; }
MYSQL* mysql_real_connect(MYSQL*, const char*, const char*, const char*, const char*, unsigned,
                          const char*, unsigned long) {
  return nullptr;
}
int mysql_real_query(MYSQL*, const char*, unsigned long) { return 1; }
int mysql_send_query(MYSQL*, const char*, unsigned long) { return 1; }
char mysql_read_query_result(MYSQL*) { return 1; }
const char* mysql_error(MYSQL*) { return "fake"; }
const char* mysql_info(MYSQL*) { return nullptr; }
unsigned mysql_errno(MYSQL*) { return 1; }
void mysql_close(MYSQL*) {}
unsigned long mysql_real_escape_string(MYSQL*, char*, const char*, unsigned long) { return 0; }
int mysql_set_character_set(MYSQL*, const char*) { return 1; }
const char* mysql_character_set_name(MYSQL*) { return "fake"; }
char mysql_ssl_set(MYSQL*, const char*, const char*, const char*, const char*, const char*) {
  return 1;
}
int mysql_options(MYSQL*, int, const void*) { return 1; }
int mysql_get_socket(MYSQL*) { return -1; }
const char* mysql_get_ssl_cipher(MYSQL*) { return nullptr; }
MYSQL_RES* mysql_store_result(MYSQL*) { return nullptr; }
char** mysql_fetch_row(MYSQL_RES*) { return nullptr; }
void mysql_free_result(MYSQL_RES*) {}
#ifndef FAKE_WITHOUT_ESCAPE
unsigned long mysql_escape_string(char*, const char*, unsigned long) { return 0; }
#endif
}
