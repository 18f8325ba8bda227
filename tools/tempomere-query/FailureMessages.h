#pragma once
// What the tool says when a host cannot be asked: one line, in words. The window keeps the
// socket layer's own message ("Socket Error # 11001" and CR LF); the tool names the cause
// beside the number: "Socket Error # 11001: host not found: no-such-host.invalid".
// Standard C++ only, so that both builds say the same.
#include <string>
#include <string_view>

namespace tempomere_query {

// What a socket error number means to someone who asked a host for the time: the tool's own
// words for the failures a query meets (name lookup, sending, the reply), else the socket
// library's text without its full stop; never empty.
std::string SocketErrorWords(int error_code);

// "Socket Error # N: WORDS: HOST" for a socket error met while asking `host`, on one line.
std::string SocketFailureMessage(int error_code, std::string_view host);

// A text with every control character, line breaks included, written as \xNN: a host as given
// on the command line, shown inside a message.
std::string EscapedControls(std::string_view text);

// A message on one line: each run of line breaks between its parts becomes ": ", breaks at
// either end are dropped, and every other control character is written as \xNN, so that a
// message is one line of a terminal, of a log and of a JSON string.
std::string OneLine(std::string_view message);

}  // namespace tempomere_query
