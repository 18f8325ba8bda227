#pragma once
// What the tool takes from the build's toolkit: the forms in which the text form shows numbers,
// dates and times, and the command line as UTF-8. Where the tool is made with Qt they are the
// user's locale's, as the window shows them (DisplayFormsQt.cpp); without Qt, as in the cross
// build for Windows, the C locale's (DisplayFormsPlain.cpp, over PlainFormats.h). The build
// compiles one of the two.
#include <memory>
#include <string>
#include <vector>

#include "framework/DateUtils.h"

namespace tempomere_query {

// Exactly `decimals` digits after the decimal separator, no thousands separators.
std::string Fixed(double value, int decimals);
// One digit, the separator, four digits, "E", the exponent's sign and digits: "9.5367E-7".
std::string Exponent(double value);
// The short date and the long time of a local date-time.
std::string ShortDate(framework::TDateTime value);
std::string LongTime(framework::TDateTime value);
// The time of day (or duration) of a value in days: "12:00:01 500".
std::string TimeOfDay(double days);

// The program's run: its arguments after the program's name, as UTF-8, and whatever the toolkit
// keeps while the tool runs (Qt's application object, which also takes on the user's locale).
class ProgramRun {
 public:
  ProgramRun(int& argc, char** argv);
  ~ProgramRun();
  const std::vector<std::string>& Arguments() const { return arguments_; }

 private:
  struct Toolkit;
  std::unique_ptr<Toolkit> toolkit_;
  std::vector<std::string> arguments_;
};

}  // namespace tempomere_query
