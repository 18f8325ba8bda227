#pragma once
// Network Time Security key establishment: one TLS 1.3 conversation with the server's
// key-establishment port that agrees on NTPv4 and AEAD_AES_SIV_CMAC_256 and gives the two keys,
// the first cookies and the NTP server to ask.
#include <deque>
#include <string>
#include <vector>

#include "ntp/IdException.h"
#include "ntp/IdGlobal.h"
#include "ntp/NtsRecords.h"

namespace ntp {

// Key establishment failed: no connection, a TLS or certificate error, a server without NTS or
// a negotiation the server refused. The message says which.
class EIdNtsError : public EIdException {
 public:
  using EIdException::EIdException;
};

constexpr int kNtsKeDefaultPort = 4460;
constexpr int kNtpDefaultPort = 123;
constexpr std::size_t kNtsKeyLength = 32;   // bytes, AEAD_AES_SIV_CMAC_256
constexpr std::size_t kNtsCookieStore = 8;  // cookies the client keeps at most

// What the server's records say, once they agree to NTPv4 with AEAD_AES_SIV_CMAC_256.
struct TNtsKeResponse {
  std::vector<TIdBytes> Cookies;  // kNtsCookieStore at most: the first the server gave
  std::string Server;             // empty: the key-establishment host itself
  int Port = 0;                   // 0: the NTP port
};
// Reads the server's records (End of Message left out); raises EIdNtsError, naming the host and
// the rule broken, when they carry an error or a warning, refuse the protocol or the algorithm,
// break a rule of RFC 8915 section 4 (records that must come once or be critical, values the
// client did not offer, a Port or Server record that names no port or host), hold an unknown
// critical record, give no cookie, or give a cookie too long for a request of
// kNtsLongestMessage bytes.
TNtsKeResponse InterpretNtsKeResponse(const std::vector<TNtsKeRecord>& records,
                                      const std::string& host);
// The same for a whole response as read: it must be complete, and its End of Message critical
// and empty.
TNtsKeResponse InterpretNtsKeResponse(const TNtsKeParse& parse, const std::string& host);

// The keys, cookies and time server one key establishment gave.
struct TNtsSession {
  TIdBytes C2SKey;  // client to server
  TIdBytes S2CKey;  // server to client
  std::deque<TIdBytes> Cookies;
  std::string NtpServer;
  int NtpPort = kNtpDefaultPort;
};

struct TNtsKeSettings {
  std::string Host;
  int Port = kNtsKeDefaultPort;
  // PEM certificates to trust instead of the system's trust store; empty for the store.
  std::string CaFile;
  // Milliseconds for the whole conversation, connection included (the name lookup before it
  // excepted); negative: without limit.
  int TimeoutMs = 5000;
};

// The records a client sends: NTPv4, AEAD_AES_SIV_CMAC_256, End of Message.
TIdBytes NtsKeRequest();

// Runs key establishment; raises EIdNtsError when it fails.
TNtsSession EstablishNtsSession(const TNtsKeSettings& settings);

// While it lives, a write to a connection the server has closed fails with EPIPE instead of
// raising SIGPIPE, whose default ends the process: the signal is blocked for the calling thread,
// and one raised meanwhile is taken out before the thread's mask is restored.
class TBrokenPipeGuard {
 public:
  TBrokenPipeGuard();
  ~TBrokenPipeGuard();
  TBrokenPipeGuard(const TBrokenPipeGuard&) = delete;
  TBrokenPipeGuard& operator=(const TBrokenPipeGuard&) = delete;

 private:
  bool was_pending_ = false;  // one raised before, which is left for its own handling
  bool blocked_ = false;      // the mask was changed, and is restored
  alignas(8) unsigned char old_mask_[128] = {};  // the thread's mask before: a sigset_t
};

}  // namespace ntp
