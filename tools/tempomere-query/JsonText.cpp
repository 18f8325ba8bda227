#include "tools/tempomere-query/JsonText.h"

#include <charconv>
#include <cmath>
#include <iterator>

namespace tempomere_query {

namespace {

using nlohmann::json;

std::string Quoted(const std::string& text) {
  // A byte that is no UTF-8 (a host as a Windows console passes it) becomes U+FFFD.
  return json(text).dump(-1, ' ', false, json::error_handler_t::replace);
}

void AppendJson(std::string& text, const json& value, int depth) {
  if (!value.is_structured()) {
    text += value.is_number_float() ? JsonNumber(value.get<double>())
            : value.is_string()     ? Quoted(value.get<std::string>())
                                    : value.dump();  // whole numbers, true, false, null
    return;
  }
  const bool object = value.is_object();
  text += object ? "{\n" : "[\n";
  std::size_t left = value.size();
  for (auto item = value.begin(); item != value.end(); ++item) {
    text.append(4 * (depth + 1), ' ');
    if (object) text += Quoted(item.key()) + ": ";
    AppendJson(text, *item, depth + 1);
    text += --left > 0 ? ",\n" : "\n";
  }
  text.append(4 * depth, ' ');
  text += object ? "}" : "]";
}

}  // namespace

std::string JsonNumber(double value) {
  if (!std::isfinite(value)) return "null";
  // 2^53: up to it every whole number is a double.
  if (value == std::trunc(value) && std::fabs(value) <= 9007199254740992.0)
    return std::to_string(static_cast<long long>(value));
  char buffer[32];  // the longest is "-d.dddddddddddddddde-ddd"
  const std::to_chars_result written =
      std::to_chars(buffer, std::end(buffer), value, std::chars_format::scientific);
  const std::string exponent_form(buffer, written.ptr);
  // The same digits without an exponent.
  const bool negative = value < 0;
  const std::size_t e = exponent_form.find('e');
  std::string digits = exponent_form.substr(negative, e - negative);
  if (digits.size() > 1) digits.erase(1, 1);                     // the point after the first digit
  const int point = std::stoi(exponent_form.substr(e + 1)) + 1;  // digits before the point
  const int count = static_cast<int>(digits.size());
  std::string plain = point <= 0      ? "0." + std::string(-point, '0') + digits
                      : point < count ? digits.substr(0, point) + "." + digits.substr(point)
                                      : digits + std::string(point - count, '0');
  if (negative) plain.insert(0, "-");
  return exponent_form.size() < plain.size() ? exponent_form : plain;
}

std::string JsonText(const json& document) {
  std::string text;
  AppendJson(text, document, 0);
  return text + "\n";
}

}  // namespace tempomere_query
