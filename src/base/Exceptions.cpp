#include "base/Exceptions.h"

namespace vendrake {

void AssertionFailed(const char* file, int line, const std::string& message,
                     const std::string& detail) {
  throw EAssertionFailed(message + " (" + file + ", line " + std::to_string(line) + ")", detail);
}

}  // namespace vendrake
