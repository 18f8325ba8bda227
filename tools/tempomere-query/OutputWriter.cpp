#include "tools/tempomere-query/OutputWriter.h"

#if defined(_WIN32)
#include <fcntl.h>  // _O_BINARY
#include <io.h>     // _setmode
#endif

#include "tools/tempomere-query/CsvWriter.h"
#include "tools/tempomere-query/JsonWriter.h"
#include "tools/tempomere-query/QueryOptions.h"
#include "tools/tempomere-query/TextWriter.h"

namespace tempomere_query {

std::unique_ptr<OutputWriter> MakeWriter(const Options& options) {
  switch (options.form) {
    case OutputForm::Json:
      return std::make_unique<JsonWriter>(options);
    case OutputForm::Csv:
      return std::make_unique<CsvWriter>();
    case OutputForm::Text:
      break;
  }
  return std::make_unique<TextWriter>(options);
}

void KeepLineEnds([[maybe_unused]] std::FILE* stream) {
#if defined(_WIN32)
  _setmode(_fileno(stream), _O_BINARY);
#endif
}

}  // namespace tempomere_query
