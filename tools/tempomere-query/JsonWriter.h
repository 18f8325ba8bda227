#pragma once
// The JSON form: one document, {"hosts": [...]}, written once every host has been asked, with
// one object per host (host, port, valid, error, samples and, with more than one sample,
// summary). Built with nlohmann/json and written in the layout the tool has always had.
#include <nlohmann/json.hpp>

#include <string>

#include "tools/tempomere-query/OutputWriter.h"

namespace tempomere_query {

class JsonWriter : public OutputWriter {
 public:
  explicit JsonWriter(const Options& options);
  void Write(std::ostream& out, const HostRun& run) override;
  void Finish(std::ostream& out) override;

 private:
  int port_;
  bool summarise_;  // more than one sample per host
  nlohmann::json hosts_ = nlohmann::json::array();
};

// A number as the document writes it: a whole number up to 2^53 as an integer ("64", "0");
// any other in the shorter of its plain and exponent forms ("0.0015", "1e-06", "1.5e+17"; the
// plain one when both are as long), with the fewest digits that read back as the same double;
// nan and the infinities, which JSON has no numbers for, as null.
std::string JsonNumber(double value);

// The document's text: four blanks of indent per level, an object's members in the order of
// their names, an empty array or object still over two lines ("[" and "]"), a line end last.
std::string JsonText(const nlohmann::json& document);

}  // namespace tempomere_query
