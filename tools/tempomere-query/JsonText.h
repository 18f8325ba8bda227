#pragma once
// A JSON document's text in the layout the tool has always written (Qt's indented form): what
// nlohmann/json holds, written with the number forms and empty arrays that readers of the
// tool's output have seen. Standard C++ only, so that both builds write the same text.
#include <nlohmann/json.hpp>

#include <string>

namespace tempomere_query {

// A number as the document writes it: a whole number up to 2^53 as an integer ("64", "0");
// any other in the shorter of its plain and exponent forms ("0.0015", "1e-06", "1.5e+17"; the
// plain one when both are as long), with the fewest digits that read back as the same double;
// nan and the infinities, which JSON has no numbers for, as null.
std::string JsonNumber(double value);

// The document's text: four blanks of indent per level, an object's members in the order of
// their names, an empty array or object still over two lines ("[" and "]"), a line end last.
std::string JsonText(const nlohmann::json& document);

}  // namespace tempomere_query
