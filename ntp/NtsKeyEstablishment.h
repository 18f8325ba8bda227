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
constexpr std::size_t kNtsKeyLength = 32;  // bytes, AEAD_AES_SIV_CMAC_256

// What the server's records say, once they agree to NTPv4 with AEAD_AES_SIV_CMAC_256.
struct TNtsKeResponse {
  std::vector<TIdBytes> Cookies;
  std::string Server;  // empty: the key-establishment host itself
  int Port = 0;        // 0: the NTP port
};
// Reads the server's records; raises EIdNtsError (naming the host) when they carry an error,
// refuse the protocol or the algorithm, hold an unknown critical record, or give no cookie.
TNtsKeResponse InterpretNtsKeResponse(const std::vector<TNtsKeRecord>& records,
                                      const std::string& host);

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

}  // namespace ntp
