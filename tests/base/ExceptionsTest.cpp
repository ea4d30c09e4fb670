#include "base/Exceptions.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace vendrake {
namespace {

TEST(Exceptions, EachClassReportsItsOwnNameThroughTheBase) {
  std::vector<std::pair<std::unique_ptr<Exception>, std::string>> cases;
  cases.emplace_back(std::make_unique<Exception>("m"), "Exception");
  cases.emplace_back(std::make_unique<EFOpenError>("m"), "EFOpenError");
  cases.emplace_back(std::make_unique<EStringListError>("m"), "EStringListError");
  cases.emplace_back(std::make_unique<EAssertionFailed>("m"), "EAssertionFailed");
  cases.emplace_back(std::make_unique<EInOutError>("m"), "EInOutError");
  cases.emplace_back(std::make_unique<EOutOfMemory>("m"), "EOutOfMemory");
  cases.emplace_back(std::make_unique<EExternal>("m"), "EExternal");
  for (const auto& [error, name] : cases) {
    EXPECT_EQ(error->ClassName(), name);
    EXPECT_EQ(error->Message(), "m");
  }
}

TEST(Exceptions, AssertRaisesWithMessageFileAndLineOnlyWhenFalse) {
  VENDRAKE_ASSERT(true, "never built");
  const int line = __LINE__ + 2;
  try {
    VENDRAKE_ASSERT(1 + 1 == 3);
    FAIL() << "no exception";
  } catch (const EAssertionFailed& e) {
    EXPECT_EQ(e.Message(), "Assertion failure (" __FILE__ ", line " + std::to_string(line) + ")");
  }
  try {
    VENDRAKE_ASSERT(false, std::string("Unable to connect"));
    FAIL() << "no exception";
  } catch (const EAssertionFailed& e) {
    EXPECT_EQ(e.Message().rfind("Unable to connect (" __FILE__ ", line ", 0), 0u) << e.Message();
  }
}

}  // namespace
}  // namespace vendrake
