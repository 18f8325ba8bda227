#pragma once
// The text form: the window's displays as "Caption: value" lines in the build's display forms
// (DisplayForms.h). One host asked once prints its 15 displays and nothing else; with several
// hosts each host's block opens with a "Host:" line, samples are parted by an empty line, and
// with more than one sample the Statistics tab's summary follows them.
#include <string>

#include "tools/tempomere-query/OutputWriter.h"

namespace tempomere_query {

class TextWriter : public OutputWriter {
 public:
  explicit TextWriter(const Options& options);
  void Write(std::ostream& out, const HostRun& run) override;

 private:
  bool several_hosts_;
  bool precise_;
  bool summarise_;  // more than one sample per host
  bool first_host_ = true;
};

// A text from a server (the reference identifier) with every character that is not printable
// ASCII, and the backslash itself, written as \xNN per UTF-16 unit (as the window's text holds
// it), and a byte that is no UTF-8 as \xFFFD: raw, such bytes could move the cursor, clear the
// terminal or forge lines of output.
std::string Printable(const std::string& text);

}  // namespace tempomere_query
