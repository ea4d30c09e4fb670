#include "check/InputCheck.h"

#include <gtest/gtest.h>

#include "TempDir.h"
#include "base/Exceptions.h"
#include "tables/TwoDLookup.h"

namespace vendrake {
namespace {

// The check names the line and field at which the loader's own load stops,
// under the loader's line-end rules; field -1 means the load succeeds.
TEST(InputCheck, FindsTheLineAndFieldAtWhichTheLoadStops) {
  const struct {
    std::string content;
    int line, field;
  } cases[] = {
      {"", 1, 0},                                    // no header line
      {std::string("\0S,A\n", 5), 1, 0},             // a zero byte ends the text
      {"S,A\r\nX,1\r\nY,1,2\r\n", 3, 2},             // CR LF
      {"S,A\rX,1\r\rY,1,2", 4, 2},                   // CR, an empty line counted
      {"S,A\n\x01\x02\n", 2, 0},                     // control bytes only
      {"S,A\nX,1,,\nY,\"1,5\",,3\n", 3, 3},          // empty fields pass, quoted commas are text
      {"\nX,1\n", 2, 1},                             // an empty header names the key only
      {"S,A\r\nX,1\r\n", 1, -1},                     // loads
      {std::string("S,A\nX,1\0,2,3\n", 13), 1, -1},  // the zero byte ends the line too
  };
  TempDir dir;
  for (const auto& c : cases) {
    const std::string path = dir.Write("file.csv", c.content);
    TTwoDArray table;
    std::string loader_error;
    try {
      table.LoadFromFile(path);
    } catch (const EStringListError& error) {
      loader_error = error.Message();
    }
    TLoadFailure failure;
    const bool found = FindLoadFailure(path, failure);
    ASSERT_EQ(found, c.field >= 0) << c.content;
    if (!found) continue;
    EXPECT_EQ(failure.line, c.line) << c.content;
    EXPECT_EQ(failure.field, c.field) << c.content;
    EXPECT_EQ(loader_error, "List index out of bounds (" + std::to_string(c.field) + ")");
  }
}

}  // namespace
}  // namespace vendrake
