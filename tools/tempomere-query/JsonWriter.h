#pragma once
// The JSON form: one document, {"hosts": [...]}, written once every host has been asked, with
// one object per host (host, port, valid, error, samples and, with more than one sample,
// summary). Built with nlohmann/json and written as JsonText.h writes it.
#include <nlohmann/json.hpp>

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

}  // namespace tempomere_query
