#pragma once
// One writer per output form: the text form (TextWriter.h), JSON (JsonWriter.h) and CSV
// (CsvWriter.h), each given the hosts' runs in turn.
#include <cstdio>
#include <iosfwd>
#include <memory>

namespace tempomere_query {

struct HostRun;
struct Options;

class OutputWriter {
 public:
  virtual ~OutputWriter() = default;
  virtual void Start(std::ostream&) {}                            // before the first host is asked
  virtual void Write(std::ostream& out, const HostRun& run) = 0;  // once per host, in turn
  virtual void Finish(std::ostream&) {}                           // after the last one
};

// The writer of the form that `options` asks for.
std::unique_ptr<OutputWriter> MakeWriter(const Options& options);

// Keeps the line ends written to `stream` as they are: "\n" in the text form, CRLF ending CSV
// records (Windows would put a CR before every LF, doubling CSV's).
void KeepLineEnds(std::FILE* stream);

}  // namespace tempomere_query
