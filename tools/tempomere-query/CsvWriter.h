#pragma once
// The CSV form (RFC 4180, CRLF line ends): a header and one record per sample, the host and
// the sample's number first; numbers with a "." whatever the locale, seconds in the values the
// JSON form has.
#include "tools/tempomere-query/OutputWriter.h"

namespace tempomere_query {

class CsvWriter : public OutputWriter {
 public:
  void Start(std::ostream& out) override;
  void Write(std::ostream& out, const HostRun& run) override;
};

}  // namespace tempomere_query
