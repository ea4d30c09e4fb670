// Connections over TCP: encrypted whenever the server offers TLS, the
// verify modes accepting the right authority and refusing a wrong one, and
// a refused connection ending the run before any input is read. The
// certificates are made for the test by openssl.
#include <gtest/gtest.h>

#include <string>

#include "ServerTests.h"

namespace vendrake {
namespace {

// An authority with a certificate for another host than 127.0.0.1, for
// 127.0.0.9 and db.elsewhere.invalid, and an unrelated authority.
struct Certificates {
  TempDir dir;
  Certificates() {
    const std::string make =
        "cd " + ShellQuoted(dir.Path()) +
        " && for ca in ca other; do openssl req -x509 -newkey ec -pkeyopt "
        "ec_paramgen_curve:prime256v1 -nodes -days 2 -subj /CN=$ca -keyout $ca.key -out $ca.pem "
        "|| exit; done && openssl req -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes "
        "-subj /CN=db.elsewhere.invalid -keyout server.key -out server.csr && printf "
        "'subjectAltName=IP:127.0.0.9,DNS:db.elsewhere.invalid\\n' >ext && openssl x509 -req -in "
        "server.csr -CA ca.pem "
        "-CAkey ca.key -CAcreateserial -days 2 -extfile ext -out server.pem";
    const Outcome run = RunCommand(make);
    EXPECT_EQ(run.exit_code, 0) << run.err;
  }
  std::string File(const std::string& name) const { return dir.Path() + "/" + name; }
};

// A server on a loopback port of 127.0.0.1 and 127.0.0.9, with TLS when
// given certificates.
struct TcpServer {
  int port = FreePort();
  TestServer server;
  explicit TcpServer(const Certificates* tls)
      : server(tls == nullptr
                   ? std::vector<std::string>{"--port=" + std::to_string(port),
                                              "--bind-address=127.0.0.1,127.0.0.9"}
                   : std::vector<std::string>{
                         "--port=" + std::to_string(port), "--bind-address=127.0.0.1,127.0.0.9",
                         "--ssl-ca=" + tls->File("ca.pem"), "--ssl-cert=" + tls->File("server.pem"),
                         "--ssl-key=" + tls->File("server.key")}) {}
  // TLS handshakes so far; the client reading them makes one itself.
  int TlsSessions() const {
    const std::string row = server.Query("SHOW GLOBAL STATUS LIKE 'Ssl_accepts'");
    return std::stoi(row.substr(row.find('\t') + 1));
  }
};

TEST(Encryption, OverTcpTheSslModeDecidesAndARefusalEndsTheRunBeforeReading) {
  const Certificates certificates;
  const TcpServer with_tls(&certificates);
  const TcpServer without_tls(nullptr);
  TempDir input;
  WriteNumberedSymbols(input, 10);
  const std::string ca = "db_SslCa=" + certificates.File("ca.pem");
  const struct {
    const TcpServer& server;
    std::string host;
    std::string settings;  // lines of [Vendrake] besides host and user
    int exit_code;
    bool encrypted;      // of a run that connected
    std::string reason;  // the start of the line after a refusal
  } cases[] = {
      {with_tls, "127.0.0.1", "", 0, true, ""},
      {with_tls, "127.0.0.9", "db_SslMode=VERIFY_IDENTITY\n" + ca, 0, true, ""},
      {with_tls, "127.0.0.1", "db_SslMode=VERIFY_IDENTITY\n" + ca, 2, false, "Error 2026: "},
      {with_tls, "127.0.0.1", "db_SslMode=VERIFY_CA\n" + ca, 0, true, ""},
      {with_tls, "127.0.0.1", "db_SslMode=verify_ca\ndb_SslCa=" + certificates.File("other.pem"), 2,
       false, "Error 2026: "},
      {with_tls, "127.0.0.1", "db_SslMode=DISABLED", 0, false, ""},
      {without_tls, "127.0.0.1", "db_SslMode=REQUIRED", 2, false,
       "The server offers no TLS, which the setting db_SslMode requires\r\n"},
      {with_tls, "127.0.0.1", "db_SslMode=ON", 2, false, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.host + " " + c.settings);
    const int before = c.server.TlsSessions();
    const InstalledVendrake vendrake("[Vendrake]\ndb_Host=" + c.host + "\ndb_User=root\n" +
                                     c.settings + "\n");
    const Outcome run = RunCommand("MYSQL_TCP_PORT=" + std::to_string(c.server.port) + " " +
                                   ShellQuoted(vendrake.Path()) + " " + ShellQuoted(input.Path()));
    EXPECT_EQ(run.exit_code, c.exit_code) << run.out;
    if (c.exit_code == 0) {
      EXPECT_EQ(c.server.TlsSessions() - before, c.encrypted ? kDefaultConnections + 1 : 1);
    }
    const std::string refused =
        "EAssertionFailed:  Unable to connect to database.  Host=\"" + c.host + "\", User=\"root\"";
    EXPECT_EQ(run.out.starts_with(refused), c.exit_code == 2) << run.out;
    EXPECT_EQ(run.out.find("Reading:") == std::string::npos, c.exit_code == 2);
    const size_t second = run.out.find("\r\n") + 2;
    EXPECT_EQ(run.out.compare(second, c.reason.size(), c.reason), 0) << run.out;
  }
}

}  // namespace
}  // namespace vendrake
