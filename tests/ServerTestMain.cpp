// Entry of the tests that need a database server: one throw-away server is
// started for all of them and stopped at the end.
#include <gtest/gtest.h>

#include "ServerTests.h"

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  vendrake::TestServer server;
  vendrake::Server = &server;
  return RUN_ALL_TESTS();
}
