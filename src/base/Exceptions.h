// Error objects of the program. Every class reports its own name, which the
// exit report prints in front of the message, so callers catch `Exception`
// and never need to know the concrete class.
#ifndef VENDRAKE_BASE_EXCEPTIONS_H_
#define VENDRAKE_BASE_EXCEPTIONS_H_

#include <exception>
#include <string>

namespace vendrake {

class Exception : public std::exception {
 public:
  // detail, when given, is a line of its own that the report prints after
  // the message.
  explicit Exception(std::string message, std::string detail = {})
      : message_(std::move(message)), detail_(std::move(detail)) {}

  virtual const char* ClassName() const { return "Exception"; }
  const std::string& Message() const { return message_; }
  const std::string& Detail() const { return detail_; }
  const char* what() const noexcept override { return message_.c_str(); }

 private:
  std::string message_;
  std::string detail_;
};

#define VENDRAKE_EXCEPTION_CLASS(Name, Base)                 \
  class Name : public Base {                                 \
   public:                                                   \
    using Base::Base;                                        \
    const char* ClassName() const override { return #Name; } \
  }

// An input file cannot be opened or read.
VENDRAKE_EXCEPTION_CLASS(EFOpenError, Exception);
// A string list was indexed outside its bounds.
VENDRAKE_EXCEPTION_CLASS(EStringListError, Exception);
// A check made with VENDRAKE_ASSERT failed.
VENDRAKE_EXCEPTION_CLASS(EAssertionFailed, Exception);
// A console stream cannot be opened, written or read.
VENDRAKE_EXCEPTION_CLASS(EInOutError, Exception);
// Memory is exhausted; std::bad_alloc is reported as this class.
VENDRAKE_EXCEPTION_CLASS(EOutOfMemory, Exception);
// Processor and operating-system faults. Linux delivers none as exceptions,
// so nothing raises this class; it exists so the family keeps its name.
VENDRAKE_EXCEPTION_CLASS(EExternal, Exception);

#undef VENDRAKE_EXCEPTION_CLASS

// The EStringListError of a load that stopped at a line of its file, with
// the message and class name the console shows and the place beside them:
// the line from 1, every line end counted (a file without any line stops at
// line 1), and the field position from 0. detail words the place for the
// line after the report's.
class ELoadLineError : public EStringListError {
 public:
  ELoadLineError(std::string message, std::string detail, std::string path, int line, int field)
      : EStringListError(std::move(message), std::move(detail)),
        path_(std::move(path)),
        line_(line),
        field_(field) {}

  const std::string& Path() const { return path_; }
  int Line() const { return line_; }
  int Field() const { return field_; }

 private:
  std::string path_;
  int line_;
  int field_;
};

// Raises EAssertionFailed with "<message> (<file>, line <line>)" and
// detail; a check without a message of its own uses "Assertion failure".
[[noreturn]] void AssertionFailed(const char* file, int line,
                                  const std::string& message = "Assertion failure",
                                  const std::string& detail = "");

}  // namespace vendrake

// Always in force, in every build type. The message is evaluated only when
// the check fails.
#define VENDRAKE_ASSERT(condition, ...)                                                           \
  do {                                                                                            \
    if (!(condition)) ::vendrake::AssertionFailed(__FILE__, __LINE__ __VA_OPT__(, ) __VA_ARGS__); \
  } while (0)

#endif  // VENDRAKE_BASE_EXCEPTIONS_H_
