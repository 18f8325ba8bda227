// Fuzzes what an NTS server (or anyone on the path) could send: the key-establishment records
// and their reading, and the extension fields of an authenticated reply with the authenticator's
// check. Beyond "no crash": records read back to the bytes they came from, fields tile the
// bytes exactly, and a reply that does not answer the pending request is never accepted, nor
// taken as the server's refusal of the cookie.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "ntp/NTPClient.h"
#include "ntp/NtsClient.h"
#include "ntp/NtsKeyEstablishment.h"
#include "ntp/NtsRecords.h"

namespace {

void Require(bool condition) {
  if (!condition) std::abort();
}

void KeRecords(std::span<const uint8_t> bytes) {
  const ntp::TNtsKeParse parse = ntp::ReadNtsKeRecords(bytes);
  Require(parse.Consumed <= bytes.size());
  ntp::TIdBytes written;
  for (const ntp::TNtsKeRecord& record : parse.Records) ntp::WriteNtsKeRecord(record, written);
  if (parse.State == ntp::TNtsKeParseState::Complete) {
    Require(written.size() + 4 <= parse.Consumed);
    // The records written again are the bytes they were read from, bar the critical bit of
    // End of Message.
    Require(std::equal(written.begin(), written.end(), bytes.begin()));
    try {
      const ntp::TNtsKeResponse response = ntp::InterpretNtsKeResponse(parse.Records, "fuzz");
      Require(!response.Cookies.empty());
      Require(response.Port >= 0 && response.Port <= 65535);
    } catch (const ntp::EIdNtsError&) {
    }
  }
}

void Reply(std::span<const uint8_t> bytes) {
  if (const auto fields = ntp::ReadExtensionFields(bytes, ntp::kSntpMessageSize)) {
    std::size_t at = ntp::kSntpMessageSize;
    for (const ntp::TNtpExtensionField& field : *fields) {
      Require(field.Offset == at);
      Require(field.Value.size() + 4 >= 16 && (field.Value.size() + 4) % 4 == 0);
      at += field.Value.size() + 4;
      if (field.Type == ntp::kNtsAuthenticator) {
        if (const auto auth = ntp::ReadNtsAuthenticator(field.Value))
          Require(auth->Nonce.size() + auth->Ciphertext.size() + 4 <= field.Value.size());
      }
    }
    Require(at == bytes.size());
  }
  // The pending request's identifier is one no input can hold (it is not in the bytes), so no
  // reply may be accepted and no cookie kept.
  ntp::TNtsPending pending;
  pending.UniqueId.assign(ntp::kNtsUniqueIdLength, 0xA5);
  pending.UniqueId[0] = 0x5A;
  pending.S2CKey.assign(ntp::kNtsKeyLength, 0x11);
  ntp::TNtsSession session;
  const bool holds_id = std::search(bytes.begin(), bytes.end(), pending.UniqueId.begin(),
                                    pending.UniqueId.end()) != bytes.end();
  const auto accepted = ntp::AcceptNtsReply(bytes, pending, session);
  if (!holds_id) Require(!accepted && session.Cookies.empty());
  // Nor is a refusal of the cookie (which makes the client drop its keys) taken from it.
  if (!holds_id) Require(!ntp::IsNtsRefusal(bytes, pending));
  if (accepted) Require(accepted->size() == static_cast<std::size_t>(ntp::kSntpMessageSize));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::span<const uint8_t> bytes(data, size);
  KeRecords(bytes);
  Reply(bytes);
  return 0;
}
