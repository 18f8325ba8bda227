#include "tools/tempomere-query/FailureMessages.h"

#include <cstdio>

#include "platform/Winsock.h"

namespace tempomere_query {

namespace {

struct ErrorWords {
  int code;
  const char* words;
};

// The failures a query meets, by the socket library's number. The library's own texts are
// Unix errno texts ("Connection reset by peer.") that say little about a datagram, and some
// numbers have none (11001).
constexpr ErrorWords kSocketErrorWords[] = {
    // The name lookup.
    {platform::WSAHOST_NOT_FOUND, "host not found"},
    {platform::WSATRY_AGAIN,
     "name lookup failed for now (no answer from the name server); try again later"},
    {platform::WSANO_RECOVERY, "name lookup failed (the name server refused or failed)"},
    {platform::WSANO_DATA, "no address found (of the family asked for)"},
    {platform::WSAEAFNOSUPPORT,
     "address family not usable (an IPv6 address with -4, an IPv4 address with -6, or no IPv6 "
     "on this computer)"},
    // The way to the host.
    {platform::WSAENETUNREACH, "network unreachable"},
    {platform::WSAENETDOWN, "network is down"},
    {platform::WSAEHOSTUNREACH, "host unreachable (no route to it)"},
    {platform::WSAEHOSTDOWN, "host is down"},
    {platform::WSAEACCES, "permission denied (a broadcast address, or a firewall rule)"},
    {platform::WSAEADDRNOTAVAIL, "address not available as a destination"},
    // The port and the reply. Windows reports an ICMP "port unreachable" for a datagram as a
    // reset connection on the next receive.
    {platform::WSAECONNREFUSED, "connection refused (port unreachable: nothing listens there)"},
    {platform::WSAECONNRESET, "port unreachable (the host says nothing listens there)"},
    {platform::WSAETIMEDOUT, "timed out"},
    {platform::WSAEMSGSIZE, "reply too long (a datagram larger than the receive buffer)"},
    // The computer itself.
    {platform::WSAENOBUFS, "out of buffer space"},
    {platform::WSAEMFILE, "too many open files"},
};

bool IsLineBreak(char c) {
  return c == '\r' || c == '\n';
}

void AppendEscaped(std::string& text, char c) {
  const auto byte = static_cast<unsigned char>(c);
  if (byte >= 0x20 && byte != 0x7F) {
    text += c;
    return;
  }
  char escape[8];
  std::snprintf(escape, sizeof escape, "\\x%02X", unsigned{byte});
  text += escape;
}

}  // namespace

std::string SocketErrorWords(int error_code) {
  for (const ErrorWords& row : kSocketErrorWords)
    if (row.code == error_code) return row.words;
  const char* text = platform::SocketErrorTextOf(error_code);
  std::string words = text ? text : "";
  while (!words.empty() && (words.back() == ' ' || words.back() == '.')) words.pop_back();
  if (words.empty()) return "unknown socket error";
  // The library's texts are sentences; here they follow a colon.
  const auto is_upper = [](char c) { return c >= 'A' && c <= 'Z'; };
  if (is_upper(words[0]) && !(words.size() > 1 && is_upper(words[1])))
    words[0] = static_cast<char>(words[0] - 'A' + 'a');
  return words;
}

std::string SocketFailureMessage(int error_code, std::string_view host) {
  return "Socket Error # " + std::to_string(error_code) + ": " + SocketErrorWords(error_code) +
         ": " + EscapedControls(host);
}

std::string EscapedControls(std::string_view text) {
  std::string escaped;
  for (char c : text) AppendEscaped(escaped, c);
  return escaped;
}

std::string OneLine(std::string_view message) {
  std::string line;
  bool pending_break = false;  // a run of line breaks after some text
  for (char c : message) {
    if (IsLineBreak(c)) {
      pending_break = !line.empty();
      continue;
    }
    if (pending_break) line += ": ";
    pending_break = false;
    AppendEscaped(line, c);
  }
  return line;
}

}  // namespace tempomere_query
