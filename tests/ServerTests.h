// What the tests that need a database server share.
#ifndef VENDRAKE_TESTS_SERVERTESTS_H_
#define VENDRAKE_TESTS_SERVERTESTS_H_

#include "TestServer.h"

namespace vendrake {

// The server of this test program, running for its whole duration.
extern TestServer* Server;

}  // namespace vendrake

#endif  // VENDRAKE_TESTS_SERVERTESTS_H_
