#pragma once
// The authenticated NTP exchange of Network Time Security: the request carries a unique
// identifier, a cookie and an authenticator; a reply counts only when it answers that request
// and authenticates under the server-to-client key. Keys and cookies are kept per host.
#include <map>
#include <optional>
#include <span>
#include <string>

#include "framework/DateUtils.h"
#include "framework/IniFiles.h"
#include "ntp/NtsKeyEstablishment.h"

namespace ntp {

constexpr char kNtsScheme[] = "nts://";

// Key establishment waits at least this long, whatever the receive time-out. It is a TCP
// handshake and a TLS 1.3 handshake with the certificate chain, then the records: three to four
// round trips and the server's signature, where an NTP exchange is one round trip. A receive
// time-out chosen for one datagram (the window's 500 ms) would fail it on any path of more than
// about 120 ms round trip, a server across an ocean; 2 s leaves room for four round trips of
// 300 ms and the server's work, and is still short enough for a window that waits on it.
constexpr int kNtsKeShortestTimeoutMs = 2000;
// How long key establishment may take for a client whose receive time-out is
// `receive_timeout_ms`: the longer of the two; without limit (negative) when the receive waits
// without limit.
int NtsKeTimeoutMs(int receive_timeout_ms);

// A host written "nts://name" or "nts://name:port" (the key-establishment port; "[v6]:port" for
// an IPv6 address). Nothing for any other host text; the name is empty when it is missing and
// the port 0 when it is not a number in 1..65535.
struct TNtsHost {
  std::string Name;
  int KePort = kNtsKeDefaultPort;
};
std::optional<TNtsHost> ParseNtsHost(const std::string& host);

// AES-SIV-CMAC-256 (OpenSSL's "AES-128-SIV" with a 32-byte key) with the associated data and
// the nonce as the two header components. Encrypt gives the 16-byte tag, then the ciphertext;
// Decrypt gives the plaintext, or nothing when it does not authenticate.
TIdBytes NtsSivEncrypt(std::span<const uint8_t> key, std::span<const uint8_t> associated,
                       std::span<const uint8_t> nonce, std::span<const uint8_t> plaintext);
std::optional<TIdBytes> NtsSivDecrypt(std::span<const uint8_t> key,
                                      std::span<const uint8_t> associated,
                                      std::span<const uint8_t> nonce,
                                      std::span<const uint8_t> sealed);

// What one request left to check its reply against.
struct TNtsPending {
  TIdBytes UniqueId;
  TIdBytes S2CKey;
};

// The 48-byte header of an authenticated reply to `pending`, with the cookies it carried added
// to `session` (up to the store's size); nothing when the reply is anything else.
std::optional<TIdBytes> AcceptNtsReply(std::span<const uint8_t> reply, const TNtsPending& pending,
                                       TNtsSession& session);
// True when the reply is the server's refusal of the request's cookie: a kiss of death with the
// code "NTSN" (stratum 0, reference "NTSN", server mode) that carries the request's unique
// identifier. It cannot be authenticated, since the server could not read the keys from the
// cookie; the identifier shows it answers this request, so one who never saw the request cannot
// make it. A kiss without the identifier, or with another, is not.
bool IsNtsRefusal(std::span<const uint8_t> reply, const TNtsPending& pending);
// An authenticated request with the header `header` (48 bytes), using the session's oldest
// cookie (taken out of the store) and asking for enough new ones to fill it again.
TIdBytes BuildNtsRequest(const TIdBytes& header, TNtsSession& session, TNtsPending& pending);

class TNtsClient {
 public:
  // PEM certificates to trust instead of the system's trust store (empty: the store, which
  // OpenSSL lets SSL_CERT_FILE and SSL_CERT_DIR replace).
  void SetCaFile(const std::string& path) { ca_file_ = path; }
  const std::string& CaFile() const { return ca_file_; }
  // PEM certificates to trust for one host instead of CaFile (empty: CaFile again). Hosts match
  // by name without regard to case and by key-establishment port.
  void SetHostCaFile(const TNtsHost& host, const std::string& path);
  // The certificates key establishment with the host trusts: its own CA file, else CaFile.
  std::string CaFileFor(const TNtsHost& host) const;
  // Takes each key of the section that is an NTS host ("nts://name[:port]") as that host's CA
  // file; other keys, and keys with an empty value, are passed over. A missing file or section
  // names none.
  void ReadHostCaFiles(const framework::TIniFile& ini, const std::string& section);

  // The session for the host, made by key establishment when none is held or its cookies are
  // used up; key establishment then waits NtsKeTimeoutMs(receive_timeout_ms). Raises EIdNtsError
  // when key establishment fails.
  TNtsSession& Session(const TNtsHost& host, int receive_timeout_ms);
  // Forgets the host's keys and cookies: the next query runs key establishment again.
  void Forget(const TNtsHost& host);
  // How many sessions key establishment has made so far.
  int Establishments() const { return establishments_; }

 private:
  std::map<std::string, TNtsSession> sessions_;
  std::map<std::string, std::string> host_ca_files_;
  std::string ca_file_;
  int establishments_ = 0;
};

}  // namespace ntp
