// The display forms and the command line where the tool is made with Qt: the user's locale's
// forms, which the window shows, and the arguments as Qt decodes them from the system's.
#include <QCoreApplication>
#include <QStringList>

#include "framework/DisplayFormats.h"
#include "tools/tempomere-query/DisplayForms.h"

namespace tempomere_query {

std::string Fixed(double value, int decimals) {
  return framework::FormatFixed(value, decimals).toStdString();
}
std::string Exponent(double value) {
  return framework::FormatExponent(value).toStdString();
}
std::string ShortDate(framework::TDateTime value) {
  return framework::FormatShortDate(value).toStdString();
}
std::string LongTime(framework::TDateTime value) {
  return framework::FormatLongTime(value).toStdString();
}
std::string TimeOfDay(double days) {
  return framework::FormatTimeOfDay(days).toStdString();
}

struct ProgramRun::Toolkit {
  QCoreApplication application;
};

ProgramRun::ProgramRun(int& argc, char** argv)
    : toolkit_(new Toolkit{QCoreApplication(argc, argv)}) {
  const QStringList all = QCoreApplication::arguments();
  for (qsizetype i = 1; i < all.size(); ++i) arguments_.push_back(all[i].toStdString());
}

ProgramRun::~ProgramRun() = default;

}  // namespace tempomere_query
