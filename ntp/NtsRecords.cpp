#include "ntp/NtsRecords.h"

#include <algorithm>

namespace ntp {

namespace {

constexpr std::size_t kKeHeaderSize = 4;
constexpr std::size_t kFieldHeaderSize = 4;
constexpr std::size_t kShortestField = 16;
constexpr uint16_t kCriticalBit = 0x8000;
constexpr std::size_t kLongestBody = 0xFFFF;
constexpr std::size_t kNtpHeaderSize = 48;

uint16_t Word16(std::span<const uint8_t> bytes, std::size_t at) {
  return static_cast<uint16_t>(bytes[at] << 8 | bytes[at + 1]);
}

void PutWord16(uint16_t word, TIdBytes& out) {
  out.push_back(static_cast<uint8_t>(word >> 8));
  out.push_back(static_cast<uint8_t>(word));
}

std::size_t PaddedToFour(std::size_t length) {
  return (length + 3) / 4 * 4;
}

// Bytes of an extension field written with a value of `value_length` bytes.
std::size_t FieldLength(std::size_t value_length) {
  return std::max(PaddedToFour(kFieldHeaderSize + value_length), kShortestField);
}

}  // namespace

void WriteNtsKeRecord(const TNtsKeRecord& record, TIdBytes& out) {
  const std::size_t length = std::min(record.Body.size(), kLongestBody);
  PutWord16(static_cast<uint16_t>((record.Critical ? kCriticalBit : 0) | (record.Type & 0x7FFF)),
            out);
  PutWord16(static_cast<uint16_t>(length), out);
  out.insert(out.end(), record.Body.begin(), record.Body.begin() + static_cast<long>(length));
}

TIdBytes NtsKeWords(std::initializer_list<uint16_t> words) {
  TIdBytes body;
  for (uint16_t word : words) PutWord16(word, body);
  return body;
}

TNtsKeParse ReadNtsKeRecords(std::span<const uint8_t> bytes) {
  TNtsKeParse parse;
  std::size_t at = 0;
  while (bytes.size() - at >= kKeHeaderSize) {
    const uint16_t head = Word16(bytes, at);
    const std::size_t length = Word16(bytes, at + 2);
    if (bytes.size() - at - kKeHeaderSize < length) break;
    TNtsKeRecord record;
    record.Critical = (head & kCriticalBit) != 0;
    record.Type = head & 0x7FFF;
    const auto body = bytes.subspan(at + kKeHeaderSize, length);
    record.Body.assign(body.begin(), body.end());
    at += kKeHeaderSize + length;
    if (record.Type == kNtsKeEndOfMessage) {
      parse.State = TNtsKeParseState::Complete;
      parse.EndOfMessage = std::move(record);
      break;
    }
    parse.Records.push_back(std::move(record));
  }
  parse.Consumed = at;
  return parse;
}

void TNtsKeReader::Feed(std::span<const uint8_t> bytes) {
  received_ += bytes.size();
  if (Complete()) return;
  partial_.insert(partial_.end(), bytes.begin(), bytes.end());
  TNtsKeParse piece = ReadNtsKeRecords(partial_);
  for (TNtsKeRecord& record : piece.Records) parse_.Records.push_back(std::move(record));
  parse_.Consumed += piece.Consumed;
  if (piece.State == TNtsKeParseState::Complete) {
    parse_.State = TNtsKeParseState::Complete;
    parse_.EndOfMessage = std::move(piece.EndOfMessage);
    partial_.clear();
    return;
  }
  partial_.erase(partial_.begin(), partial_.begin() + static_cast<long>(piece.Consumed));
}

void WriteExtensionField(uint16_t type, std::span<const uint8_t> value, TIdBytes& out,
                         std::size_t min_length) {
  const std::size_t length =
      std::max(PaddedToFour(kFieldHeaderSize + value.size()), PaddedToFour(min_length));
  PutWord16(type, out);
  PutWord16(static_cast<uint16_t>(length), out);
  out.insert(out.end(), value.begin(), value.end());
  out.resize(out.size() + length - kFieldHeaderSize - value.size(), 0);
}

std::optional<std::vector<TNtpExtensionField>> ReadExtensionFields(std::span<const uint8_t> bytes,
                                                                   std::size_t start) {
  if (start > bytes.size()) return std::nullopt;
  std::vector<TNtpExtensionField> fields;
  std::size_t at = start;
  while (at < bytes.size()) {
    if (bytes.size() - at < kFieldHeaderSize) return std::nullopt;
    const std::size_t length = Word16(bytes, at + 2);
    if (length < kShortestField || length % 4 != 0 || length > bytes.size() - at)
      return std::nullopt;
    fields.push_back(
        {Word16(bytes, at), bytes.subspan(at + kFieldHeaderSize, length - kFieldHeaderSize), at});
    at += length;
  }
  return fields;
}

std::optional<TNtsAuthenticator> ReadNtsAuthenticator(std::span<const uint8_t> value) {
  if (value.size() < 4) return std::nullopt;
  const std::size_t nonce_length = Word16(value, 0);
  const std::size_t ciphertext_length = Word16(value, 2);
  const std::size_t nonce_end = 4 + PaddedToFour(nonce_length);
  if (nonce_end > value.size() || value.size() - nonce_end < PaddedToFour(ciphertext_length))
    return std::nullopt;
  return TNtsAuthenticator{value.subspan(4, nonce_length),
                           value.subspan(nonce_end, ciphertext_length)};
}

std::size_t NtsRequestLength(std::size_t cookie_length, std::size_t placeholders) {
  const std::size_t sealed = kNtsSivTagLength + placeholders * FieldLength(cookie_length);
  const std::size_t authenticator =
      FieldLength(4 + PaddedToFour(kNtsNonceLength) + PaddedToFour(sealed));
  return kNtpHeaderSize + FieldLength(kNtsUniqueIdLength) + FieldLength(cookie_length) +
         authenticator;
}

TIdBytes WriteNtsAuthenticator(std::span<const uint8_t> nonce,
                               std::span<const uint8_t> ciphertext) {
  TIdBytes value;
  PutWord16(static_cast<uint16_t>(nonce.size()), value);
  PutWord16(static_cast<uint16_t>(ciphertext.size()), value);
  value.insert(value.end(), nonce.begin(), nonce.end());
  value.resize(4 + PaddedToFour(nonce.size()), 0);
  value.insert(value.end(), ciphertext.begin(), ciphertext.end());
  value.resize(4 + PaddedToFour(nonce.size()) + PaddedToFour(ciphertext.size()), 0);
  return value;
}

}  // namespace ntp
