#pragma once
// --time-service: what the system says about its time service, in the text form (one fact a
// line, first the window's "Time Service:" line) or as one JSON document. A fact the system did
// not give is written as unknown (JSON null), never guessed. Standard C++ and nlohmann/json.
#include <string>

#include "platform/TimeService.h"

namespace tempomere_query {

std::string TimeServiceText(const platform::TimeServiceFacts& facts);
std::string TimeServiceJson(const platform::TimeServiceFacts& facts);

}  // namespace tempomere_query
