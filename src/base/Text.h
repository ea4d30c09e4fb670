// Small text helpers that messages of several units share.
#ifndef VENDRAKE_BASE_TEXT_H_
#define VENDRAKE_BASE_TEXT_H_

#include <string>
#include <string_view>

namespace vendrake {

// text between double quotes, as messages show a name or a setting: the
// bytes as they are, nothing escaped.
std::string Quoted(std::string_view text);

}  // namespace vendrake

#endif  // VENDRAKE_BASE_TEXT_H_
