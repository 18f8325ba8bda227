#pragma once
// The application framework's exception base and its text conversions.
#include <QString>
#include <exception>
#include <string>

namespace framework {

// Base of every failure the program reports; its message is what the standard error box
// shows.
class Exception : public std::exception {
 public:
  explicit Exception(QString message)
      : message_(std::move(message)), utf8_(message_.toStdString()) {}
  const QString& Message() const { return message_; }
  const char* what() const noexcept override { return utf8_.c_str(); }

 private:
  QString message_;
  std::string utf8_;
};

// A text that does not read as the number asked for.
class EConvertError : public Exception {
 public:
  using Exception::Exception;
};

// Whole number in decimal, with an optional sign and surrounding blanks; a "$" or "0x" prefix
// reads hexadecimal. Anything else, or a value outside 32 bits, raises EConvertError
// "'%s' is not a valid integer value".
int StrToInt(const QString& text);
// As StrToInt, but gives `fallback` instead of raising.
int StrToIntDef(const QString& text, int fallback);

}  // namespace framework
