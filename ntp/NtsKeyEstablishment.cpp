#include "ntp/NtsKeyEstablishment.h"

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <poll.h>
#include <pthread.h>
#include <sys/socket.h>

#include <csignal>
#include <cstring>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <memory>

namespace ntp {

namespace {

constexpr unsigned char kAlpn[] = {7, 'n', 't', 's', 'k', 'e', '/', '1'};
constexpr char kExporterLabel[] = "EXPORTER-network-time-security";
constexpr std::size_t kLongestResponse = 65536;  // bytes the client reads at most
constexpr int kNapMs = 10;  // between attempts when the connection has no descriptor yet

struct SslCtxFree {
  void operator()(SSL_CTX* ctx) const { SSL_CTX_free(ctx); }
};
struct SslFree {
  void operator()(SSL* ssl) const { SSL_free(ssl); }
};

std::string Where(const std::string& host, int port) {
  return (host.find(':') != std::string::npos ? "[" + host + "]" : host) + ":" +
         std::to_string(port);
}

// The oldest queued OpenSSL error as text, the queue cleared; `fallback` when there is none.
std::string OpenSslError(const std::string& fallback) {
  const unsigned long code = ERR_get_error();
  ERR_clear_error();
  if (code == 0) return fallback;
  char text[256];
  ERR_error_string_n(code, text, sizeof text);
  return text;
}

bool IsIpAddress(const std::string& host) {
  ASN1_OCTET_STRING* ip = a2i_IPADDRESS(host.c_str());
  ASN1_OCTET_STRING_free(ip);
  return ip != nullptr;
}

std::string ErrorCodeText(uint16_t code) {
  switch (code) {
    case 0:
      return "unrecognized critical record";
    case 1:
      return "bad request";
    case 2:
      return "internal server error";
    default:
      return "error " + std::to_string(code);
  }
}

// The body's first 16-bit word; 0xFFFF (no code defined) when it has none.
uint16_t FirstWord(const TIdBytes& body) {
  return body.size() >= 2 ? static_cast<uint16_t>(body[0] << 8 | body[1]) : 0xFFFF;
}

// The server broke a rule of key establishment: `what` it did.
[[noreturn]] void Refuse(const std::string& host, const std::string& what) {
  throw EIdNtsError("NTS key establishment: " + host + " " + what);
}

// The body of `record` (named with its article) as 16-bit words.
std::vector<uint16_t> Words(const TIdBytes& body, const std::string& host, const char* record) {
  if (body.size() % 2 != 0)
    Refuse(host, std::string("sent ") + record + " record of " + std::to_string(body.size()) +
                     " bytes, not a whole number of 16-bit values");
  std::vector<uint16_t> words;
  for (std::size_t at = 0; at + 1 < body.size(); at += 2)
    words.push_back(static_cast<uint16_t>(body[at] << 8 | body[at + 1]));
  return words;
}

// One TLS connection, with every wait bounded by one deadline for the whole conversation.
class TTlsConversation {
 public:
  using Clock = std::chrono::steady_clock;

  TTlsConversation(const TNtsKeSettings& settings)
      : settings_(settings),
        where_(Where(settings.Host, settings.Port)),
        deadline_(Clock::now() + std::chrono::milliseconds(std::max(0, settings.TimeoutMs))) {}

  void Connect() {
    ctx_.reset(SSL_CTX_new(TLS_client_method()));
    if (!ctx_) Fail("cannot set up TLS: " + OpenSslError("no TLS context"));
    SSL_CTX_set_min_proto_version(ctx_.get(), TLS1_3_VERSION);
    SSL_CTX_set_verify(ctx_.get(), SSL_VERIFY_PEER, nullptr);
    if (settings_.CaFile.empty()) {
      if (SSL_CTX_set_default_verify_paths(ctx_.get()) != 1)
        Fail("cannot read the system's trust store: " + OpenSslError("unknown error"));
    } else if (SSL_CTX_load_verify_locations(ctx_.get(), settings_.CaFile.c_str(), nullptr) != 1) {
      Fail("cannot read the CA file \"" + settings_.CaFile +
           "\": " + OpenSslError("unknown error"));
    }
    if (SSL_CTX_set_alpn_protos(ctx_.get(), kAlpn, sizeof kAlpn) != 0)
      Fail("cannot set up TLS: " + OpenSslError("ALPN refused"));

    // The name is looked up first, so that a name nobody knows is said as such rather than as
    // the connection's system error.
    BIO_ADDRINFO* addresses = nullptr;
    if (BIO_lookup_ex(settings_.Host.c_str(), std::to_string(settings_.Port).c_str(),
                      BIO_LOOKUP_CLIENT, AF_UNSPEC, SOCK_STREAM, 0, &addresses) != 1) {
      ERR_clear_error();
      Fail("host not found: " + settings_.Host);
    }
    BIO_ADDRINFO_free(addresses);

    BIO* bio = BIO_new_connect(where_.c_str());
    if (!bio) Fail("cannot set up a connection: " + OpenSslError("no connection object"));
    BIO_set_nbio(bio, 1);
    ssl_.reset(SSL_new(ctx_.get()));
    if (!ssl_) {
      BIO_free(bio);
      Fail("cannot set up TLS: " + OpenSslError("no TLS object"));
    }
    SSL_set_bio(ssl_.get(), bio, bio);  // the TLS object owns the connection now
    // A read returns after each TLS record that carries no data (a session ticket, a key
    // update) instead of going on to the next, so that the deadline is looked at between them.
    SSL_clear_mode(ssl_.get(), SSL_MODE_AUTO_RETRY);
    bio_ = bio;
    // One attempt, waited for up to the deadline: a refusal is reported at once.
    while (BIO_do_connect(bio_) <= 0) {
      if (!BIO_should_retry(bio_))
        throw EIdNtsError("NTS key establishment: no connection to " + where_ + " (" +
                          OpenSslError("connection failed") + ")");
      if (!Wait(false))
        throw EIdNtsError("NTS key establishment: no connection to " + where_ + " within " +
                          std::to_string(settings_.TimeoutMs) + " ms");
    }

    if (IsIpAddress(settings_.Host)) {
      X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(ssl_.get()), settings_.Host.c_str());
    } else {
      SSL_set_tlsext_host_name(ssl_.get(), settings_.Host.c_str());
      SSL_set1_host(ssl_.get(), settings_.Host.c_str());
    }
    while (true) {
      const int result = SSL_connect(ssl_.get());
      if (result == 1) break;
      if (!WaitAfter(result)) {
        const long verify = SSL_get_verify_result(ssl_.get());
        if (verify != X509_V_OK)
          throw EIdNtsError("NTS key establishment: the certificate of " + where_ +
                            " is not trusted (" + X509_verify_cert_error_string(verify) + ")");
        throw EIdNtsError("NTS key establishment: TLS handshake with " + where_ + " failed (" +
                          OpenSslError("the connection closed") + ")");
      }
    }
    const unsigned char* protocol = nullptr;
    unsigned int length = 0;
    SSL_get0_alpn_selected(ssl_.get(), &protocol, &length);
    if (length != sizeof kAlpn - 1 || !std::equal(protocol, protocol + length, kAlpn + 1))
      throw EIdNtsError("NTS key establishment: " + where_ +
                        " does not offer NTS (no \"ntske/1\" protocol in its TLS handshake)");
  }

  void Write(const TIdBytes& bytes) {
    std::size_t sent = 0;
    while (sent < bytes.size()) {
      std::size_t n = 0;
      const int result = SSL_write_ex(ssl_.get(), bytes.data() + sent, bytes.size() - sent, &n);
      if (result == 1)
        sent += n;
      else if (!WaitAfter(result))
        Fail("sending to " + where_ + " failed (" + OpenSslError("the connection closed") + ")");
    }
  }

  // The records up to End of Message, read as they arrive. The deadline holds between reads
  // too: a server that keeps sending never lets a read wait, and would otherwise hold the
  // client for as long as it likes.
  TNtsKeParse ReadRecords() {
    TNtsKeReader reader;
    while (!reader.Complete()) {
      if (reader.Received() >= kLongestResponse)
        Fail(where_ + " sent more than " + std::to_string(kLongestResponse) +
             " bytes without ending its records");
      if (Late())
        Fail(where_ + " did not end its records within " + std::to_string(settings_.TimeoutMs) +
             " ms");
      uint8_t buffer[4096];
      std::size_t n = 0;
      const int result = SSL_read_ex(ssl_.get(), buffer, sizeof buffer, &n);
      if (result == 1) {
        reader.Feed(std::span<const uint8_t>(buffer, n));
      } else if (!WaitAfter(result)) {
        Fail(where_ + " ended the conversation before its records were complete");
      }
    }
    return reader.Parse();
  }

  TIdBytes ExportKey(uint8_t direction) {
    const unsigned char context[] = {0, 0, 0, kNtsAeadAesSivCmac256, direction};
    TIdBytes key(kNtsKeyLength);
    if (SSL_export_keying_material(ssl_.get(), key.data(), key.size(), kExporterLabel,
                                   sizeof kExporterLabel - 1, context, sizeof context, 1) != 1)
      Fail("cannot export the keys from the TLS session: " + OpenSslError("unknown error"));
    return key;
  }

  void Close() {
    SSL_shutdown(ssl_.get());  // one close_notify; the server's is not awaited
  }

 private:
  [[noreturn]] void Fail(const std::string& what) {
    throw EIdNtsError("NTS key establishment: " + what);
  }

  bool Late() const { return settings_.TimeoutMs >= 0 && Clock::now() >= deadline_; }

  // After an unfinished TLS call: waits for the connection and gives true when the call should
  // be tried again, false when it failed. Raises when the deadline passes.
  bool WaitAfter(int result) {
    const int error = SSL_get_error(ssl_.get(), result);
    if (error != SSL_ERROR_WANT_READ && error != SSL_ERROR_WANT_WRITE) return false;
    if (!Wait(error == SSL_ERROR_WANT_READ))
      throw EIdNtsError("NTS key establishment: " + where_ + " did not answer within " +
                        std::to_string(settings_.TimeoutMs) + " ms");
    return true;
  }

  // Waits until the connection can be read (or written) or something happened to it: true; false
  // when the deadline passed first. A negative time-out waits without limit.
  bool Wait(bool read) {
    ERR_clear_error();
    int fd = -1;
    BIO_get_fd(bio_, &fd);
    while (true) {
      int wait_ms = -1;
      if (settings_.TimeoutMs >= 0) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline_ - Clock::now());
        if (left.count() <= 0) return false;
        wait_ms = static_cast<int>(std::min<long long>(left.count(), 1000 * 60 * 60));
      }
      if (fd < 0) {  // not connected far enough to have a descriptor: try again shortly
        poll(nullptr, 0, wait_ms < 0 ? kNapMs : std::min(wait_ms, kNapMs));
        return true;
      }
      pollfd p{fd, static_cast<short>(read ? POLLIN : POLLOUT), 0};
      const int ready = poll(&p, 1, wait_ms);
      if (ready > 0) return true;
      if (ready < 0 && errno != EINTR) return true;  // the next call reports what went wrong
    }
  }

  const TNtsKeSettings& settings_;
  const std::string where_;
  const Clock::time_point deadline_;
  std::unique_ptr<SSL_CTX, SslCtxFree> ctx_;
  std::unique_ptr<SSL, SslFree> ssl_;
  BIO* bio_ = nullptr;  // owned by ssl_
};

}  // namespace

TNtsKeResponse InterpretNtsKeResponse(const std::vector<TNtsKeRecord>& records,
                                      const std::string& host) {
  TNtsKeResponse response;
  int protocol_records = 0, algorithm_records = 0;
  bool protocol = false, aead = false;
  for (const TNtsKeRecord& r : records) {
    switch (r.Type) {
      case kNtsKeError:
        Refuse(host, "refused the request (" + ErrorCodeText(FirstWord(r.Body)) + ")");
      case kNtsKeWarning:
        // No warning code is defined, and one the client does not know counts as an error.
        Refuse(host, "sent a warning the client does not know (code " +
                         std::to_string(FirstWord(r.Body)) + ")");
      case kNtsKeNextProtocol: {
        // Exactly once, critical, and naming one protocol of those offered (NTPv4), or none
        // when the server supports none of them.
        if (++protocol_records > 1) Refuse(host, "sent more than one Next Protocol record");
        if (!r.Critical) Refuse(host, "sent a Next Protocol record without the critical bit");
        const std::vector<uint16_t> ids = Words(r.Body, host, "a Next Protocol");
        if (ids.size() > 1) Refuse(host, "named more than one next protocol");
        if (!ids.empty() && ids[0] != kNtsProtocolNtpV4)
          Refuse(host, "refused the NTPv4 protocol (it named protocol " + std::to_string(ids[0]) +
                           ", which the client did not offer)");
        protocol = !ids.empty();
        break;
      }
      case kNtsKeAeadAlgorithm: {
        // Once, naming one algorithm of those offered, or none when it supports none of them.
        if (++algorithm_records > 1) Refuse(host, "sent more than one AEAD Algorithm record");
        const std::vector<uint16_t> ids = Words(r.Body, host, "an AEAD Algorithm");
        if (ids.size() > 1) Refuse(host, "named more than one AEAD algorithm");
        if (!ids.empty() && ids[0] != kNtsAeadAesSivCmac256)
          Refuse(host, "refused the AEAD_AES_SIV_CMAC_256 algorithm (it chose algorithm " +
                           std::to_string(ids[0]) + ", which the client did not offer)");
        aead = !ids.empty();
        break;
      }
      case kNtsKeNewCookie:
        if (r.Body.empty()) break;
        // A request carries a cookie and at least one placeholder as long: with a longer one
        // it would outgrow the messages the server answers and the client reads.
        if (NtsRequestLength(r.Body.size(), 1) > kNtsLongestMessage)
          Refuse(host, "gave a cookie of " + std::to_string(r.Body.size()) +
                           " bytes, too long for a request of at most " +
                           std::to_string(kNtsLongestMessage) + " bytes");
        if (response.Cookies.size() < kNtsCookieStore) response.Cookies.push_back(r.Body);
        break;
      case kNtsKeServer:
        // A host name or address: text that a name lookup would cut at a NUL names another.
        if (r.Body.empty()) Refuse(host, "sent an empty Server record");
        if (std::find(r.Body.begin(), r.Body.end(), 0) != r.Body.end())
          Refuse(host, "sent a Server record holding a NUL byte");
        response.Server.assign(r.Body.begin(), r.Body.end());
        break;
      case kNtsKePort:
        if (r.Body.size() != 2)
          Refuse(host, "sent a Port record of length " + std::to_string(r.Body.size()) +
                           " (a port takes 2 bytes)");
        response.Port = FirstWord(r.Body);
        if (response.Port == 0) Refuse(host, "named port 0 for NTP");
        break;
      default:
        if (r.Critical)
          Refuse(host, "sent a critical record of unknown type " + std::to_string(r.Type));
    }
  }
  if (!protocol) Refuse(host, "refused the NTPv4 protocol");
  if (!aead) Refuse(host, "refused the AEAD_AES_SIV_CMAC_256 algorithm");
  if (response.Cookies.empty()) Refuse(host, "gave no cookie");
  return response;
}

TNtsKeResponse InterpretNtsKeResponse(const TNtsKeParse& parse, const std::string& host) {
  if (parse.State != TNtsKeParseState::Complete)
    Refuse(host, "did not end its records with End of Message");
  if (!parse.EndOfMessage.Critical) Refuse(host, "sent End of Message without the critical bit");
  if (!parse.EndOfMessage.Body.empty()) Refuse(host, "sent End of Message with a body");
  return InterpretNtsKeResponse(parse.Records, host);
}

TIdBytes NtsKeRequest() {
  TIdBytes request;
  WriteNtsKeRecord({true, kNtsKeNextProtocol, NtsKeWords({kNtsProtocolNtpV4})}, request);
  WriteNtsKeRecord({true, kNtsKeAeadAlgorithm, NtsKeWords({kNtsAeadAesSivCmac256})}, request);
  WriteNtsKeRecord({true, kNtsKeEndOfMessage, {}}, request);
  return request;
}

TBrokenPipeGuard::TBrokenPipeGuard() {
  static_assert(sizeof(sigset_t) <= sizeof old_mask_);
  sigset_t pipe, pending, old;
  sigemptyset(&pipe);
  sigaddset(&pipe, SIGPIPE);
  sigpending(&pending);
  was_pending_ = sigismember(&pending, SIGPIPE) == 1;
  blocked_ = pthread_sigmask(SIG_BLOCK, &pipe, &old) == 0;
  std::memcpy(old_mask_, &old, sizeof old);
}

TBrokenPipeGuard::~TBrokenPipeGuard() {
  if (!blocked_) return;
  sigset_t pipe, pending, old;
  sigemptyset(&pipe);
  sigaddset(&pipe, SIGPIPE);
  sigpending(&pending);
  if (!was_pending_ && sigismember(&pending, SIGPIPE) == 1) {
    const timespec now{0, 0};
    while (sigtimedwait(&pipe, nullptr, &now) < 0 && errno == EINTR) {
    }
  }
  std::memcpy(&old, old_mask_, sizeof old);
  pthread_sigmask(SIG_SETMASK, &old, nullptr);
}

TNtsSession EstablishNtsSession(const TNtsKeSettings& settings) {
  // The server may close the connection while the request or the closing notice is written.
  const TBrokenPipeGuard broken_pipe;
  ERR_clear_error();
  TTlsConversation tls(settings);
  tls.Connect();
  tls.Write(NtsKeRequest());
  const TNtsKeResponse response =
      InterpretNtsKeResponse(tls.ReadRecords(), Where(settings.Host, settings.Port));
  TNtsSession session;
  session.C2SKey = tls.ExportKey(0);
  session.S2CKey = tls.ExportKey(1);
  tls.Close();
  session.Cookies.assign(response.Cookies.begin(), response.Cookies.end());
  session.NtpServer = response.Server.empty() ? settings.Host : response.Server;
  session.NtpPort = response.Port == 0 ? kNtpDefaultPort : response.Port;
  return session;
}

}  // namespace ntp
