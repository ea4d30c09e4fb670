#include "base/Exceptions.h"

namespace vendrake {

void AssertionFailed(const char* file, int line, const std::string& message) {
  throw EAssertionFailed(message + " (" + file + ", line " + std::to_string(line) + ")");
}

}  // namespace vendrake
