#include "ntp/NtsClient.h"

#include <openssl/evp.h>
#include <openssl/rand.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <memory>
#include <string_view>

#include "ntp/NTPClient.h"

namespace ntp {

namespace {

constexpr uint8_t kNtpVersion4 = 4;

struct CipherFree {
  void operator()(EVP_CIPHER* cipher) const { EVP_CIPHER_free(cipher); }
};
struct CipherCtxFree {
  void operator()(EVP_CIPHER_CTX* ctx) const { EVP_CIPHER_CTX_free(ctx); }
};

int Int(std::size_t n) {
  return static_cast<int>(n);
}

// A context for AES-SIV with the key and the two header components fed; null on failure.
std::unique_ptr<EVP_CIPHER_CTX, CipherCtxFree> SivContext(bool encrypt,
                                                          std::span<const uint8_t> key,
                                                          std::span<const uint8_t> associated,
                                                          std::span<const uint8_t> nonce,
                                                          const uint8_t* tag) {
  std::unique_ptr<EVP_CIPHER, CipherFree> cipher(EVP_CIPHER_fetch(nullptr, "AES-128-SIV", nullptr));
  std::unique_ptr<EVP_CIPHER_CTX, CipherCtxFree> ctx(EVP_CIPHER_CTX_new());
  if (!cipher || !ctx || key.size() != kNtsKeyLength) return nullptr;
  if (EVP_CipherInit_ex2(ctx.get(), cipher.get(), key.data(), nullptr, encrypt ? 1 : 0, nullptr) !=
      1)
    return nullptr;
  if (tag && EVP_CIPHER_CTX_ctrl(ctx.get(), EVP_CTRL_AEAD_SET_TAG, Int(kNtsSivTagLength),
                                 const_cast<uint8_t*>(tag)) != 1)
    return nullptr;
  int n = 0;
  if (EVP_CipherUpdate(ctx.get(), nullptr, &n, associated.data(), Int(associated.size())) != 1 ||
      EVP_CipherUpdate(ctx.get(), nullptr, &n, nonce.data(), Int(nonce.size())) != 1)
    return nullptr;
  return ctx;
}

TIdBytes RandomBytes(std::size_t n) {
  TIdBytes bytes(n);
  if (RAND_bytes(bytes.data(), Int(n)) != 1)
    throw EIdNtsError("NTS: the system gave no random numbers");
  return bytes;
}

void KeepCookie(std::span<const uint8_t> cookie, TNtsSession& session) {
  // A cookie too long to go out with a placeholder within the longest message would make
  // requests, and replies, longer than the client reads: it is of no use.
  if (cookie.empty() || NtsRequestLength(cookie.size(), 1) > kNtsLongestMessage) return;
  session.Cookies.emplace_back(cookie.begin(), cookie.end());
  while (session.Cookies.size() > kNtsCookieStore) session.Cookies.pop_front();
}

// Hosts match by name without regard to case, and by port.
std::string HostKey(const TNtsHost& host) {
  std::string name = host.Name;
  std::transform(name.begin(), name.end(), name.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return name + "\n" + std::to_string(host.KePort);
}

bool SameBytes(std::span<const uint8_t> a, std::span<const uint8_t> b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin());
}

}  // namespace

int NtsKeTimeoutMs(int receive_timeout_ms) {
  if (receive_timeout_ms < 0) return -1;
  return std::max(receive_timeout_ms, kNtsKeShortestTimeoutMs);
}

std::optional<TNtsHost> ParseNtsHost(const std::string& host) {
  if (!NamesNtsHost(host)) return std::nullopt;
  std::string rest = host.substr(std::string_view(kNtsScheme).size());
  while (!rest.empty() && rest.back() == '/') rest.pop_back();
  TNtsHost parsed;
  std::string port;
  if (!rest.empty() && rest.front() == '[') {  // [IPv6 address] with an optional port
    const std::size_t close = rest.find(']');
    if (close == std::string::npos) return TNtsHost{"", 0};
    parsed.Name = rest.substr(1, close - 1);
    const std::string after = rest.substr(close + 1);
    if (!after.empty()) {
      if (after.front() != ':') return TNtsHost{"", 0};
      port = after.substr(1);
      if (port.empty()) port = "x";
    }
  } else {
    const std::size_t colon = rest.find(':');
    parsed.Name = rest.substr(0, colon);
    if (colon != std::string::npos) {
      port = rest.substr(colon + 1);
      if (port.empty()) port = "x";
    }
  }
  if (!port.empty()) {
    const bool digits = port.size() <= 5 && std::all_of(port.begin(), port.end(), [](char c) {
                          return c >= '0' && c <= '9';
                        });
    const int number = digits ? std::stoi(port) : 0;
    parsed.KePort = number >= 1 && number <= 65535 ? number : 0;
  }
  return parsed;
}

TIdBytes NtsSivEncrypt(std::span<const uint8_t> key, std::span<const uint8_t> associated,
                       std::span<const uint8_t> nonce, std::span<const uint8_t> plaintext) {
  auto ctx = SivContext(true, key, associated, nonce, nullptr);
  // OpenSSL's AES-SIV computes no tag over an empty plaintext, so the request always encrypts
  // at least one field.
  if (!ctx || plaintext.empty()) throw EIdNtsError("NTS: cannot encrypt the request");
  TIdBytes sealed(kNtsSivTagLength + plaintext.size());
  int n = 0, last = 0;
  if (EVP_CipherUpdate(ctx.get(), sealed.data() + kNtsSivTagLength, &n, plaintext.data(),
                       Int(plaintext.size())) != 1 ||
      EVP_CipherFinal_ex(ctx.get(), sealed.data() + kNtsSivTagLength + n, &last) != 1 ||
      EVP_CIPHER_CTX_ctrl(ctx.get(), EVP_CTRL_AEAD_GET_TAG, Int(kNtsSivTagLength), sealed.data()) !=
          1)
    throw EIdNtsError("NTS: cannot encrypt the request");
  return sealed;
}

std::optional<TIdBytes> NtsSivDecrypt(std::span<const uint8_t> key,
                                      std::span<const uint8_t> associated,
                                      std::span<const uint8_t> nonce,
                                      std::span<const uint8_t> sealed) {
  if (sealed.size() <= kNtsSivTagLength) return std::nullopt;  // a reply always carries cookies
  auto ctx = SivContext(false, key, associated, nonce, sealed.data());
  if (!ctx) return std::nullopt;
  TIdBytes plain(sealed.size() - kNtsSivTagLength);
  int n = 0, last = 0;
  if (EVP_CipherUpdate(ctx.get(), plain.data(), &n, sealed.data() + kNtsSivTagLength,
                       Int(plain.size())) != 1 ||
      EVP_CipherFinal_ex(ctx.get(), plain.data() + n, &last) != 1)
    return std::nullopt;
  return plain;
}

TIdBytes BuildNtsRequest(const TIdBytes& header, TNtsSession& session, TNtsPending& pending) {
  if (session.Cookies.empty()) throw EIdNtsError("NTS: no cookie left");
  TIdBytes request = header;
  request[0] = static_cast<uint8_t>((request[0] & 0xC7) | kNtpVersion4 << 3);
  pending.UniqueId = RandomBytes(kNtsUniqueIdLength);
  pending.S2CKey = session.S2CKey;
  WriteExtensionField(kNtsUniqueIdentifier, pending.UniqueId, request);
  const TIdBytes cookie = session.Cookies.front();
  session.Cookies.pop_front();
  WriteExtensionField(kNtsCookie, cookie, request);
  // The reply brings a cookie for the one sent and one for each placeholder, so placeholders
  // ask for what the store lacks but one. They travel encrypted, and at least one always does,
  // so that the authenticator has something to seal; and no more than keep the request within
  // the longest message, which the reply (no longer than the request) then fits as well.
  const std::size_t lacking =
      kNtsCookieStore - std::min(session.Cookies.size(), kNtsCookieStore);  // 0..8
  std::size_t count = std::max<std::size_t>(lacking, 2) - 1;
  while (count > 1 && NtsRequestLength(cookie.size(), count) > kNtsLongestMessage) --count;
  TIdBytes placeholders;
  const TIdBytes blank(cookie.size(), 0);
  for (std::size_t i = 0; i < count; ++i)
    WriteExtensionField(kNtsCookiePlaceholder, blank, placeholders);
  const TIdBytes nonce = RandomBytes(kNtsNonceLength);
  const TIdBytes sealed = NtsSivEncrypt(session.C2SKey, request, nonce, placeholders);
  WriteExtensionField(kNtsAuthenticator, WriteNtsAuthenticator(nonce, sealed), request);
  return request;
}

std::optional<TIdBytes> AcceptNtsReply(std::span<const uint8_t> reply, const TNtsPending& pending,
                                       TNtsSession& session) {
  const auto fields = ReadExtensionFields(reply, kSntpMessageSize);
  if (!fields || reply.size() < static_cast<std::size_t>(kSntpMessageSize)) return std::nullopt;
  bool answers = false;
  for (const TNtpExtensionField& field : *fields) {
    if (field.Type == kNtsUniqueIdentifier) {
      answers = SameBytes(field.Value, pending.UniqueId);
      if (!answers) return std::nullopt;
    } else if (field.Type == kNtsAuthenticator) {
      if (!answers) return std::nullopt;  // it must follow the identifier it covers
      const auto auth = ReadNtsAuthenticator(field.Value);
      if (!auth) return std::nullopt;
      const auto plain =
          NtsSivDecrypt(pending.S2CKey, reply.first(field.Offset), auth->Nonce, auth->Ciphertext);
      if (!plain) return std::nullopt;
      const auto sealed_fields = ReadExtensionFields(*plain, 0);
      if (!sealed_fields) return std::nullopt;
      for (const TNtpExtensionField& f : *sealed_fields)
        if (f.Type == kNtsCookie) KeepCookie(f.Value, session);
      // Whatever follows the authenticator is not covered by it, and is not read.
      return TIdBytes(reply.begin(), reply.begin() + kSntpMessageSize);
    }
  }
  return std::nullopt;
}

bool IsNtsRefusal(std::span<const uint8_t> reply, const TNtsPending& pending) {
  constexpr uint8_t kModeServer = 4;
  constexpr std::array<uint8_t, 4> kRefusalCode = {'N', 'T', 'S', 'N'};
  const std::optional<TNtpPacket> header = ReadNtpPacket(reply);
  if (!header || header->Mode != kModeServer || header->Stratum != 0 ||
      header->ReferenceId != kRefusalCode || pending.UniqueId.empty())
    return false;
  const auto fields = ReadExtensionFields(reply, kSntpMessageSize);
  if (!fields) return false;
  for (const TNtpExtensionField& field : *fields)
    if (field.Type == kNtsUniqueIdentifier) return SameBytes(field.Value, pending.UniqueId);
  return false;
}

void TNtsClient::SetHostCaFile(const TNtsHost& host, const std::string& path) {
  if (path.empty())
    host_ca_files_.erase(HostKey(host));
  else
    host_ca_files_[HostKey(host)] = path;
}

std::string TNtsClient::CaFileFor(const TNtsHost& host) const {
  const auto found = host_ca_files_.find(HostKey(host));
  return found != host_ca_files_.end() ? found->second : ca_file_;
}

void TNtsClient::ReadHostCaFiles(const framework::TIniFile& ini, const std::string& section) {
  framework::TStringList hosts;
  ini.ReadSection(section, hosts);
  for (const std::string& text : hosts) {
    const std::optional<TNtsHost> host = ParseNtsHost(text);
    if (!host || host->Name.empty() || host->KePort == 0) continue;
    const std::string path = ini.ReadString(section, text, "");
    if (!path.empty()) SetHostCaFile(*host, path);
  }
}

TNtsSession& TNtsClient::Session(const TNtsHost& host, int receive_timeout_ms) {
  const std::string key = HostKey(host);
  auto found = sessions_.find(key);
  if (found != sessions_.end() && !found->second.Cookies.empty()) return found->second;
  if (host.Name.empty()) throw EIdNtsError("NTS: the host has no name");
  if (host.KePort == 0) throw EIdNtsError("NTS: the host's port is not a number in 1..65535");
  TNtsKeSettings settings;
  settings.Host = host.Name;
  settings.Port = host.KePort;
  settings.CaFile = CaFileFor(host);
  settings.TimeoutMs = NtsKeTimeoutMs(receive_timeout_ms);
  TNtsSession session = EstablishNtsSession(settings);
  ++establishments_;
  return sessions_[key] = std::move(session);
}

void TNtsClient::Forget(const TNtsHost& host) {
  sessions_.erase(HostKey(host));
}

}  // namespace ntp
