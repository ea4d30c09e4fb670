#include "base/Text.h"

namespace vendrake {

std::string Quoted(std::string_view text) {
  std::string quoted;
  quoted.reserve(text.size() + 2);
  quoted.append("\"").append(text).append("\"");
  return quoted;
}

}  // namespace vendrake
