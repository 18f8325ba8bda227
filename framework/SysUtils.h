#pragma once
// The application framework's exception base and its text-to-number conversions. Standard C++
// only: texts are UTF-8.
#include <exception>
#include <string>

namespace framework {

// Base of every failure the program reports; its message (UTF-8) is what the standard error box
// shows.
class Exception : public std::exception {
 public:
  explicit Exception(std::string message) : message_(std::move(message)) {}
  const std::string& Message() const { return message_; }
  const char* what() const noexcept override { return message_.c_str(); }

 private:
  std::string message_;
};

// A text that does not read as the number asked for.
class EConvertError : public Exception {
 public:
  using Exception::Exception;
};

// Whole number in decimal, with an optional sign and surrounding blanks; a "$" or "0x" prefix
// reads hexadecimal. Anything else, or a value outside 32 bits, raises EConvertError
// "'%s' is not a valid integer value".
int StrToInt(const std::string& text);
// As StrToInt, but gives `fallback` instead of raising.
int StrToIntDef(const std::string& text, int fallback);

// ASCII letters compared without regard to case; every other byte as it is.
bool SameTextAscii(const std::string& a, const std::string& b);

}  // namespace framework
