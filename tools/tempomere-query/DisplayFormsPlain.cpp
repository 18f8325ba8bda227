// The display forms and the command line where the tool is made without Qt: the C locale's
// forms (PlainFormats.h), the same whatever the user's settings, and the arguments as given.
#include "tools/tempomere-query/DisplayForms.h"
#include "tools/tempomere-query/PlainFormats.h"

namespace tempomere_query {

std::string Fixed(double value, int decimals) {
  return PlainFixed(value, decimals);
}
std::string Exponent(double value) {
  return PlainExponent(value);
}
std::string ShortDate(framework::TDateTime value) {
  return PlainShortDate(value);
}
std::string LongTime(framework::TDateTime value) {
  return PlainLongTime(value);
}
std::string TimeOfDay(double days) {
  return PlainTimeOfDay(days);
}

struct ProgramRun::Toolkit {};

ProgramRun::ProgramRun(int& argc, char** argv)
    : arguments_(argv + (argc > 0 ? 1 : 0), argv + argc) {}

ProgramRun::~ProgramRun() = default;

}  // namespace tempomere_query
