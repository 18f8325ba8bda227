#pragma once
// The two wire forms of Network Time Security: the records of key establishment (sent over
// TLS) and the NTP extension fields that follow the 48-byte header of an authenticated request
// and reply. Only framing lives here; what the records mean is up to their users.
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <span>
#include <vector>

#include "ntp/IdGlobal.h"

namespace ntp {

// Record types of key establishment.
enum TNtsKeRecordType : uint16_t {
  kNtsKeEndOfMessage = 0,
  kNtsKeNextProtocol = 1,
  kNtsKeError = 2,
  kNtsKeWarning = 3,
  kNtsKeAeadAlgorithm = 4,
  kNtsKeNewCookie = 5,
  kNtsKeServer = 6,
  kNtsKePort = 7,
};

constexpr uint16_t kNtsProtocolNtpV4 = 0;
constexpr uint16_t kNtsAeadAesSivCmac256 = 15;

// One key-establishment record: a critical bit, a 15-bit type and a body of up to 65535 bytes.
struct TNtsKeRecord {
  bool Critical = false;
  uint16_t Type = 0;
  TIdBytes Body;
  bool operator==(const TNtsKeRecord&) const = default;
};

// Appends a record's four header bytes and its body to `out`. The body is cut at 65535 bytes.
void WriteNtsKeRecord(const TNtsKeRecord& record, TIdBytes& out);
// A body of 16-bit words, big-endian.
TIdBytes NtsKeWords(std::initializer_list<uint16_t> words);

// How far a stream of records has come.
enum class TNtsKeParseState {
  Complete,    // an End of Message record ended the records
  Incomplete,  // the bytes end inside a record or before End of Message
};
struct TNtsKeParse {
  TNtsKeParseState State = TNtsKeParseState::Incomplete;
  std::vector<TNtsKeRecord> Records;  // up to and without End of Message
  std::size_t Consumed = 0;           // bytes read, End of Message included once complete
  TNtsKeRecord EndOfMessage;          // the End of Message record itself, once complete
};
// Splits the bytes into records up to the first End of Message.
TNtsKeParse ReadNtsKeRecords(std::span<const uint8_t> bytes);

// Reads key-establishment records as their bytes arrive, in pieces of any size (down to one
// byte per piece): each byte is taken once, and only the start of a record not yet whole is
// kept and looked at again, so a server's record stream costs time in proportion to its length.
class TNtsKeReader {
 public:
  // Takes the next bytes; those after End of Message are counted but not read.
  void Feed(std::span<const uint8_t> bytes);
  bool Complete() const { return parse_.State == TNtsKeParseState::Complete; }
  // The records so far, End of Message once complete; Consumed counts the bytes of both.
  const TNtsKeParse& Parse() const { return parse_; }
  // Bytes fed in all.
  std::size_t Received() const { return received_; }
  // Bytes kept for the record not yet whole.
  std::size_t Kept() const { return partial_.size(); }

 private:
  TNtsKeParse parse_;
  TIdBytes partial_;  // the bytes of a record not yet whole
  std::size_t received_ = 0;
};

// NTP extension field types of Network Time Security.
enum TNtsFieldType : uint16_t {
  kNtsUniqueIdentifier = 0x0104,
  kNtsCookie = 0x0204,
  kNtsCookiePlaceholder = 0x0304,
  kNtsAuthenticator = 0x0404,
};

// One extension field as it lies in a message: its type, its value (padding included) and
// where the field starts, counted from the start of the message.
struct TNtpExtensionField {
  uint16_t Type = 0;
  std::span<const uint8_t> Value;
  std::size_t Offset = 0;
};

// Appends one extension field: type, length, the value and zero padding to a multiple of four
// bytes and to at least `min_length` bytes in all.
void WriteExtensionField(uint16_t type, std::span<const uint8_t> value, TIdBytes& out,
                         std::size_t min_length = 16);
// The extension fields of `bytes`, starting at `start`, which must fill the rest exactly; each
// is at least 16 bytes and a multiple of four long. Nothing when they do not.
std::optional<std::vector<TNtpExtensionField>> ReadExtensionFields(std::span<const uint8_t> bytes,
                                                                   std::size_t start);

// The value of an NTS Authenticator field: nonce and ciphertext, each as long as it says.
struct TNtsAuthenticator {
  std::span<const uint8_t> Nonce;
  std::span<const uint8_t> Ciphertext;
};
std::optional<TNtsAuthenticator> ReadNtsAuthenticator(std::span<const uint8_t> value);
// An Authenticator field's value: the lengths, then nonce and ciphertext each padded to four.
TIdBytes WriteNtsAuthenticator(std::span<const uint8_t> nonce, std::span<const uint8_t> ciphertext);

constexpr std::size_t kNtsUniqueIdLength = 32;  // bytes
constexpr std::size_t kNtsNonceLength = 16;     // bytes
constexpr std::size_t kNtsSivTagLength = 16;    // bytes, the AES-SIV tag before the ciphertext
// Bytes of an NTS message at most. The client reads a reply into this much; a server answers
// with no more bytes than it was sent, so the client's requests keep within it too.
constexpr std::size_t kNtsLongestMessage = 1280;
// Bytes of an authenticated request that carries one cookie of `cookie_length` bytes and
// `placeholders` cookie placeholders (as long as the cookie, sealed in the authenticator): the
// 48-byte header, the unique identifier, the cookie and the authenticator with its nonce and tag.
std::size_t NtsRequestLength(std::size_t cookie_length, std::size_t placeholders);

}  // namespace ntp
