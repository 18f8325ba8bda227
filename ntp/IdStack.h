#pragma once
// The process-wide socket stack: name lookup, the socket calls, and turning the platform's
// error numbers into exceptions.
#include <array>
#include <cstdint>
#include <string>

#include "ntp/IdGlobal.h"
#include "platform/Winsock.h"

namespace ntp {

class TIdStack {
 public:
  virtual ~TIdStack() = default;

  // "localhost" in any letter case is 127.0.0.1, a dotted quad is used unchanged, anything
  // else is asked of the platform's lookup on every call (there is no cache).
  //
  // Besides: a text with a ":" is an IPv6 address (in "[" "]" or bare), read by the platform's
  // numeric lookup; a name the IPv4 lookup finds nothing for (no such name, or no IPv4 address)
  // is asked for IPv6 addresses when the library has IPv6, and when that finds none either, the
  // IPv4 lookup's error is raised. Names with an IPv4 address never reach the IPv6 lookup.
  TIdIPAddress LookUpHost(const std::string& host);
  // As above with one family forced: IPv4Only never asks the IPv6 lookup, and refuses an IPv6
  // address with WSAEAFNOSUPPORT; IPv6Only takes "localhost" as ::1, asks names of the IPv6
  // lookup only, and refuses a dotted quad. Any is LookUpHost(host).
  TIdIPAddress LookUpHost(const std::string& host, TIdFamilyChoice family);
  // Whether the text is an IPv6 address as LookUpHost takes one: it holds a ":".
  static bool IsIPv6Text(const std::string& text);
  // Whether the library has the calls that IPv6 needs.
  virtual bool SupportsIPv6() const = 0;
  // Raises EIdSocketError for the platform's last error when `result` is -1; gives it back
  // otherwise.
  int CheckSocketResult(int result);
  // Raises EIdSocketError for `error_code` with its text.
  [[noreturn]] static void RaiseSocketError(int error_code);
  // The text of a platform error number; empty for numbers without one.
  static std::string SocketErrorText(int error_code);
  // Whether the text is four "."-separated decimal numbers 0..255, leading zeros allowed.
  static bool IsDottedIP(const std::string& text);
  // The four address bytes of a dotted quad, each part read as a decimal integer; false, with the
  // bytes untouched, when the text is not one.
  static bool ReadDottedIP(const std::string& text, std::array<uint8_t, 4>& bytes);

  // The socket calls, in the platform's shapes. A socket is made for one address family.
  virtual platform::SOCKET CreateSocketHandle(TIdIPVersion version) = 0;
  virtual int SetBroadcast(platform::SOCKET s, bool enabled) = 0;
  virtual int SendTo(platform::SOCKET s, const TIdBytes& data, const TIdIPAddress& ip,
                     int port) = 0;
  // Waits until the socket is readable: -2 without limit, otherwise milliseconds. True only
  // when the platform reports exactly this socket ready.
  virtual bool Readable(platform::SOCKET s, int timeout_ms) = 0;
  // Receives into `buffer` (its size is the most taken); gives the count or -1.
  virtual int RecvFrom(platform::SOCKET s, TIdBytes& buffer, TIdIPAddress& ip, int& port) = 0;
  virtual void Disconnect(platform::SOCKET s) = 0;
  // The system's own stamps of a socket's datagrams (nanoseconds since 1970 UTC; 0 where it gave
  // none), where the library has them. Asks for them on a socket: false when it cannot.
  virtual bool EnableKernelStamps(platform::SOCKET s) = 0;
  // As SendTo, with the stamp of the datagram's leaving, waited for at most `stamp_wait_ms`.
  virtual int SendToStamped(platform::SOCKET s, const TIdBytes& data, const TIdIPAddress& ip,
                            int port, int stamp_wait_ms, int64_t& stamp_ns) = 0;
  // As RecvFrom, with the stamp of the datagram's arrival.
  virtual int RecvFromStamped(platform::SOCKET s, TIdBytes& buffer, TIdIPAddress& ip, int& port,
                              int64_t& stamp_ns) = 0;
  virtual int LastError() = 0;

 protected:
  // The first address the platform's lookup finds for a name; raises EIdSocketError when it
  // finds none.
  virtual TIdIPAddress HostByName(const std::string& name) = 0;
  // The first IPv6 address the platform's lookup finds (`numeric`: the text must be an address,
  // no name is asked of any server); raises EIdSocketError when it finds none, EIdIPv6Unavailable
  // when the library has no IPv6.
  virtual TIdIPAddress HostByName6(const std::string& name, bool numeric) = 0;
};

// The stack in force while any socket component lives; null otherwise.
TIdStack* SocketStack();
// Brought up by the first socket component and taken down by the last (see TIdComponent).
void CreateSocketStack();
void DestroySocketStack();

}  // namespace ntp
