# Throw-away MariaDB server on a temporary data directory and socket, with
# no network port. Source this file; it needs mariadb-server installed.
#   start_server DIR [OPTION...]
#                       starts it under DIR, passing any further mariadbd
#                       options on (e.g. --performance-schema=ON); sets
#                       SERVER_SOCKET, SERVER_PID
#   stop_server         stops it and waits for it to end
#   sql ARG...          the mariadb client on that server, as root
#   logged_statements [CONDITION]
#                       what a server started with --general-log=1
#                       --log-output=TABLE logged from other clients than
#                       this query's, in the order logged, one a line:
#                       thread, command, the table a REPLACE or UPDATE
#                       writes ("-" for any other), the text in hex (line
#                       breaks inside it stay apart from the rows); a Quit
#                       is left out, as a client does not wait for it to be
#                       logged. CONDITION is more SQL for the WHERE clause,
#                       joined with AND; further mariadb options may follow
#   create_database [DATABASE [SCHEMA]]
#                       creates DATABASE (default mydb) from SCHEMA (default
#                       sql/schema.sql), with this computer's heartbeat row
#                       in monitor_alive
#   private_copy PROGRAM DIR [DATABASE]
#                       copies PROGRAM into DIR (made if missing) beside a
#                       Config.ini of its own that logs in as root to
#                       DATABASE (default mydb)

start_server() {
  local dir="$1"
  shift
  mkdir -p "$dir/data" "$dir/tmp"
  SERVER_SOCKET="$dir/mysqld.sock"
  # A temporary directory of its own: servers started at the same moment in
  # other process namespaces can share a process id, and with it the names
  # of their temporary tables in a shared /tmp. The install script takes it
  # from TMPDIR, and -uroot rather than --user=root, as it hands options
  # such as --tmpdir and --user to commands unquoted, which splits a path
  # with a blank in it.
  TMPDIR="$dir/tmp" mariadb-install-db --no-defaults --datadir="$dir/data" \
    --auth-root-authentication-method=normal --skip-test-db -uroot \
    >"$dir/install.log" 2>&1 || { cat "$dir/install.log" >&2; return 1; }
  mariadbd --no-defaults --datadir="$dir/data" --tmpdir="$dir/tmp" --socket="$SERVER_SOCKET" \
    --skip-networking --user=root --log-error="$dir/server.log" "$@" >"$dir/server.out" 2>&1 &
  SERVER_PID=$!
  local i
  for i in $(seq 1 100); do
    if mariadb --no-defaults --socket="$SERVER_SOCKET" -uroot -e 'SELECT 1' >/dev/null 2>&1; then
      return 0
    fi
    kill -0 "$SERVER_PID" 2>/dev/null || break
    sleep 0.1
  done
  echo "The database server did not start; its log:" >&2
  cat "$dir/server.log" >&2
  return 1
}

stop_server() {
  [ -n "${SERVER_PID:-}" ] || return 0
  kill "$SERVER_PID" 2>/dev/null || true
  wait "$SERVER_PID" 2>/dev/null || true
  SERVER_PID=
}

sql() { mariadb --no-defaults --socket="$SERVER_SOCKET" -uroot "$@"; }

logged_statements() {
  local condition="${1:-TRUE}"
  shift || true
  sql -N --quick "$@" -e "SELECT thread_id, command_type,
      IFNULL(NULLIF(REGEXP_SUBSTR(LEFT(argument, 100),
        '^(REPLACE INTO|UPDATE) +\\\\K[A-Za-z0-9_]+'), ''), '-'),
      HEX(argument)
    FROM mysql.general_log
    WHERE thread_id <> CONNECTION_ID() AND command_type <> 'Quit' AND ($condition)"
}

# The heartbeat row is named as vendrake names it: the host name, or
# "Unknown" when that is longer than 15 characters.
create_database() {
  local host database="${1:-mydb}"
  host="$(hostname)"
  [ "${#host}" -le 15 ] || host=Unknown
  sql -e "CREATE DATABASE $database"
  sql "$database" <"${2:-sql/schema.sql}"
  sql "$database" -e "INSERT INTO monitor_alive VALUES ('Overnight $host', NULL)"
}

# A Config.ini beside the copy keeps build/Config.ini, an operator's, as it
# is. With db_Host empty the client library takes the socket from
# MYSQL_UNIX_PORT.
private_copy() {
  mkdir -p "$2"
  cp "$1" "$2/vendrake"
  printf '[Vendrake]\ndb_User=root\ndb_Database=%s\n' "${3:-mydb}" >"$2/Config.ini"
}
