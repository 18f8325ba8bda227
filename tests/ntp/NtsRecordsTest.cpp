#include "ntp/NtsRecords.h"

#include <gtest/gtest.h>

#include "ntp/NtsClient.h"
#include "ntp/NtsKeyEstablishment.h"

using namespace ntp;

namespace {

TIdBytes Bytes(std::initializer_list<int> values) {
  TIdBytes bytes;
  for (int v : values) bytes.push_back(static_cast<uint8_t>(v));
  return bytes;
}

}  // namespace

// --- Key-establishment records ---------------------------------------------------------------

TEST(NtsKeRecords, TheClientsRequestIsProtocolAlgorithmAndEndOfMessageAllCritical) {
  EXPECT_EQ(NtsKeRequest(), Bytes({0x80, 1, 0, 2, 0, 0,   // NTPv4
                                   0x80, 4, 0, 2, 0, 15,  // AEAD_AES_SIV_CMAC_256
                                   0x80, 0, 0, 0}));      // End of Message
}

TEST(NtsKeRecords, ReadsRecordsUpToEndOfMessageAndWaitsForMoreInsideARecord) {
  TIdBytes stream;
  WriteNtsKeRecord({false, kNtsKeNewCookie, Bytes({1, 2, 3})}, stream);
  WriteNtsKeRecord({true, kNtsKePort, Bytes({0x12, 0x34})}, stream);
  const std::size_t before_end = stream.size();
  WriteNtsKeRecord({true, kNtsKeEndOfMessage, {}}, stream);
  stream.push_back(0x99);  // after End of Message: not read

  const TNtsKeParse whole = ReadNtsKeRecords(stream);
  EXPECT_EQ(whole.State, TNtsKeParseState::Complete);
  ASSERT_EQ(whole.Records.size(), 2u);
  EXPECT_EQ(whole.Records[0], (TNtsKeRecord{false, kNtsKeNewCookie, Bytes({1, 2, 3})}));
  EXPECT_EQ(whole.Records[1], (TNtsKeRecord{true, kNtsKePort, Bytes({0x12, 0x34})}));
  EXPECT_EQ(whole.Consumed, before_end + 4);

  for (std::size_t cut :
       {std::size_t{0}, std::size_t{3}, std::size_t{6}, before_end, before_end + 3}) {
    const TNtsKeParse part = ReadNtsKeRecords(std::span(stream).first(cut));
    EXPECT_EQ(part.State, TNtsKeParseState::Incomplete) << cut;
    EXPECT_LE(part.Consumed, cut);
  }

  // Fed a byte at a time, the reader has read what the bytes so far hold, and keeps no more
  // than the record not yet whole.
  TNtsKeReader reader;
  for (std::size_t cut = 1; cut <= stream.size(); ++cut) {
    reader.Feed(std::span(stream).subspan(cut - 1, 1));
    const TNtsKeParse part = ReadNtsKeRecords(std::span(stream).first(cut));
    EXPECT_EQ(reader.Parse().State, part.State) << cut;
    EXPECT_EQ(reader.Parse().Records, part.Records) << cut;
    EXPECT_EQ(reader.Parse().Consumed, part.Consumed) << cut;
    EXPECT_EQ(reader.Kept(), reader.Complete() ? 0 : cut - part.Consumed) << cut;
  }
  EXPECT_EQ(reader.Parse().EndOfMessage, (TNtsKeRecord{true, kNtsKeEndOfMessage, {}}));
  EXPECT_EQ(reader.Received(), stream.size());
}

// --- Extension fields ------------------------------------------------------------------------

TEST(NtsExtensionFields, WrittenPaddedToFourAndSixteenAndReadBackWithTheirOffsets) {
  TIdBytes message(48, 0);
  WriteExtensionField(kNtsUniqueIdentifier, Bytes({1, 2, 3, 4, 5}), message);
  EXPECT_EQ(message.size(), 48u + 16u);
  WriteExtensionField(kNtsCookie, TIdBytes(13, 9), message);
  EXPECT_EQ(message.size(), 48u + 16u + 20u);
  EXPECT_EQ(message[48 + 16 + 3], 20);  // the length counts the header and the padding

  const auto fields = ReadExtensionFields(message, 48);
  ASSERT_TRUE(fields);
  ASSERT_EQ(fields->size(), 2u);
  EXPECT_EQ((*fields)[0].Type, kNtsUniqueIdentifier);
  EXPECT_EQ((*fields)[0].Offset, 48u);
  EXPECT_EQ((*fields)[0].Value.size(), 12u);
  EXPECT_EQ((*fields)[1].Type, kNtsCookie);
  EXPECT_EQ((*fields)[1].Offset, 64u);
  EXPECT_EQ((*fields)[1].Value[12], 9);
  EXPECT_EQ((*fields)[1].Value[13], 0);

  EXPECT_TRUE(ReadExtensionFields(TIdBytes(48, 0), 48));  // none at all
  auto broken = message;
  broken.pop_back();  // the last field runs past the end
  EXPECT_FALSE(ReadExtensionFields(broken, 48));
  broken = message;
  broken.push_back(0);  // bytes left that make no field
  EXPECT_FALSE(ReadExtensionFields(broken, 48));
  broken = message;
  broken[48 + 3] = 14;  // not a multiple of four
  EXPECT_FALSE(ReadExtensionFields(broken, 48));
  TIdBytes short_field(48, 0);  // a 12-byte field, then a good one
  for (int v : {0x01, 0x04, 0, 12, 0, 0, 0, 0, 0, 0, 0, 0})
    short_field.push_back(static_cast<uint8_t>(v));
  WriteExtensionField(kNtsCookie, Bytes({1}), short_field);
  EXPECT_FALSE(ReadExtensionFields(short_field, 48));
  short_field[48 + 3] = 16;  // the same bytes as one 16-byte field and a broken rest
  EXPECT_FALSE(ReadExtensionFields(short_field, 48));
  EXPECT_FALSE(ReadExtensionFields(message, 49 + message.size()));
}

TEST(NtsExtensionFields, AuthenticatorHoldsNonceAndCiphertextEachAsLongAsItSays) {
  const TIdBytes value = WriteNtsAuthenticator(Bytes({1, 2, 3}), Bytes({4, 5, 6, 7, 8}));
  EXPECT_EQ(value, Bytes({0, 3, 0, 5, 1, 2, 3, 0, 4, 5, 6, 7, 8, 0, 0, 0}));
  const auto auth = ReadNtsAuthenticator(value);
  ASSERT_TRUE(auth);
  EXPECT_EQ(TIdBytes(auth->Nonce.begin(), auth->Nonce.end()), Bytes({1, 2, 3}));
  EXPECT_EQ(TIdBytes(auth->Ciphertext.begin(), auth->Ciphertext.end()), Bytes({4, 5, 6, 7, 8}));
  EXPECT_FALSE(ReadNtsAuthenticator(std::span(value).first(13)));
  EXPECT_FALSE(ReadNtsAuthenticator(Bytes({0, 200, 0, 0})));
  EXPECT_FALSE(ReadNtsAuthenticator(Bytes({0, 0})));
}

// --- Authenticated requests ----------------------------------------------------------------

struct TRequestRow {
  std::size_t CookieLength;  // bytes
  std::size_t Stored;        // cookies held before the request
  std::size_t Placeholders;  // what the store lacks after it but one, at least one, within 1280
};
class NtsRequests : public testing::TestWithParam<TRequestRow> {};

TEST_P(NtsRequests, AskForTheCookiesTheStoreLacksWithinTheLongestMessage) {
  const TRequestRow row = GetParam();
  TNtsSession session;
  session.C2SKey.assign(kNtsKeyLength, 1);
  session.S2CKey.assign(kNtsKeyLength, 2);
  for (std::size_t i = 0; i < row.Stored; ++i)
    session.Cookies.push_back(TIdBytes(row.CookieLength, static_cast<uint8_t>(i)));
  TNtsPending pending;
  const TIdBytes request = BuildNtsRequest(TIdBytes(48, 0x23), session, pending);
  EXPECT_EQ(session.Cookies.size(), row.Stored - 1);
  // The placeholders, as the server finds them with the client-to-server key.
  const auto fields = ReadExtensionFields(request, 48);
  ASSERT_TRUE(fields);
  ASSERT_EQ(fields->size(), 3u);
  const TNtpExtensionField& field = fields->back();
  ASSERT_EQ(field.Type, kNtsAuthenticator);
  const auto auth = ReadNtsAuthenticator(field.Value);
  ASSERT_TRUE(auth);
  const auto plain = NtsSivDecrypt(session.C2SKey, std::span(request).first(field.Offset),
                                   auth->Nonce, auth->Ciphertext);
  ASSERT_TRUE(plain);
  const auto sealed = ReadExtensionFields(*plain, 0);
  ASSERT_TRUE(sealed);
  EXPECT_EQ(sealed->size(), row.Placeholders);
  for (const TNtpExtensionField& placeholder : *sealed) {
    EXPECT_EQ(placeholder.Type, kNtsCookiePlaceholder);
    EXPECT_EQ(placeholder.Value.size(), (*fields)[1].Value.size());  // as long as the cookie
  }
  EXPECT_EQ(request.size(), NtsRequestLength(row.CookieLength, row.Placeholders));
  EXPECT_LE(request.size(), kNtsLongestMessage);
}

INSTANTIATE_TEST_SUITE_P(Rows, NtsRequests,
                         testing::Values(TRequestRow{100, 1, 7},    // 956 bytes
                                         TRequestRow{13, 4, 4},     // 224 bytes
                                         TRequestRow{100, 8, 1},    // the store is full again
                                         TRequestRow{100, 10, 1},   // more than it holds
                                         TRequestRow{300, 1, 2},    // 1036; three make 1340
                                         TRequestRow{572, 1, 1}));  // 1276 bytes

TEST(NtsReplies, KeepOnlyTheCookiesThatFitARequest) {
  TNtsSession session;
  session.S2CKey.assign(kNtsKeyLength, 2);
  session.Cookies.assign(5, TIdBytes(100, 0));
  TNtsPending pending{TIdBytes(kNtsUniqueIdLength, 9), session.S2CKey};
  TIdBytes reply(48, 0x24);
  WriteExtensionField(kNtsUniqueIdentifier, pending.UniqueId, reply);
  TIdBytes cookies;
  WriteExtensionField(kNtsCookie, TIdBytes(573, 1), cookies);  // 1284-byte requests
  WriteExtensionField(kNtsCookie, TIdBytes(572, 2), cookies);  // 1276-byte requests
  const TIdBytes nonce(kNtsNonceLength, 5);
  WriteExtensionField(
      kNtsAuthenticator,
      WriteNtsAuthenticator(nonce, NtsSivEncrypt(session.S2CKey, reply, nonce, cookies)), reply);
  ASSERT_TRUE(AcceptNtsReply(reply, pending, session));
  ASSERT_EQ(session.Cookies.size(), 6u);
  EXPECT_EQ(session.Cookies.back(), TIdBytes(572, 2));
}

// --- Host text -------------------------------------------------------------------------------

TEST(NtsHosts, OnlyTheNtsSchemeIsAskedWithNtsAndItsPortIsKeyEstablishments) {
  EXPECT_FALSE(ParseNtsHost("time.example"));
  EXPECT_FALSE(ParseNtsHost("127.0.0.1"));
  EXPECT_FALSE(ParseNtsHost("ntp://time.example"));
  const auto plain = ParseNtsHost("nts://time.example");
  ASSERT_TRUE(plain);
  EXPECT_EQ(plain->Name, "time.example");
  EXPECT_EQ(plain->KePort, 4460);
  const auto ported = ParseNtsHost("NTS://127.0.0.1:1234/");
  ASSERT_TRUE(ported);
  EXPECT_EQ(ported->Name, "127.0.0.1");
  EXPECT_EQ(ported->KePort, 1234);
  const auto v6 = ParseNtsHost("nts://[::1]:99");
  ASSERT_TRUE(v6);
  EXPECT_EQ(v6->Name, "::1");
  EXPECT_EQ(v6->KePort, 99);
  for (const char* bad :
       {"nts://h:", "nts://h:0", "nts://h:65536", "nts://h:12a", "nts://h:-1", "nts://[::1]x"})
    EXPECT_EQ(ParseNtsHost(bad).value_or(TNtsHost{"?", 1}).KePort, 0) << bad;
  EXPECT_EQ(ParseNtsHost("nts://")->Name, "");
}

// --- AES-SIV ---------------------------------------------------------------------------------

// Agreement with a real server's AES-SIV is shown by the exchanges with chronyd.
TEST(NtsSiv, OpensWhatItSealedAndNothingWithAnyInputChanged) {
  const TIdBytes key(32, 0x42), ad = Bytes({1, 2, 3}), nonce(16, 7), plain = Bytes({9, 8, 7, 6});
  const TIdBytes sealed = NtsSivEncrypt(key, ad, nonce, plain);
  ASSERT_EQ(sealed.size(), 16u + plain.size());
  EXPECT_EQ(NtsSivDecrypt(key, ad, nonce, sealed), plain);
  auto changed = sealed;
  changed[0] ^= 1;
  EXPECT_FALSE(NtsSivDecrypt(key, ad, nonce, changed));
  changed = sealed;
  changed.back() ^= 1;
  EXPECT_FALSE(NtsSivDecrypt(key, ad, nonce, changed));
  EXPECT_FALSE(NtsSivDecrypt(key, Bytes({1, 2, 4}), nonce, sealed));
  EXPECT_FALSE(NtsSivDecrypt(key, ad, TIdBytes(16, 8), sealed));
  EXPECT_FALSE(NtsSivDecrypt(TIdBytes(32, 0x43), ad, nonce, sealed));
  EXPECT_FALSE(NtsSivDecrypt(key, ad, nonce, std::span(sealed).first(16)));
}
