#include "framework/SysUtils.h"

#include <gtest/gtest.h>

#include <string>

#include "framework/Classes.h"

using framework::EConvertError;
using framework::StrToInt;
using framework::StrToIntDef;

TEST(StrToInt, DecimalAndHexadecimalTextsWithinThirtyTwoBits) {
  const struct {
    const char* text;
    int value;
  } rows[] = {
      {"0", 0},
      {"123", 123},
      {"-123", -123},
      {"+7", 7},
      {"  42\t", 42},
      {"\n-5\r", -5},
      {"2147483647", 2147483647},
      {"-2147483648", -2147483647 - 1},
      {"$10", 16},
      {"0x1F", 31},
      {"0XfF", 255},
      {"-$10", -16},
      {"$FFFFFFFF", -1},
      {"$80000000", -2147483647 - 1},
      {"-$80000000", -2147483647 - 1},
      {"000000000000000000000000000012", 12},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(StrToInt(row.text), row.value) << row.text;
    EXPECT_EQ(StrToIntDef(row.text, 99), row.value) << row.text;
  }
}

TEST(StrToInt, AnythingElseRaisesWithTheTextOrGivesTheFallback) {
  for (const char* text :
       {"", " ", "-", "+", "$", "0x", "12a", "1 2", "1.5", "--1", "+-1", "2147483648",
        "-2147483649", "$100000000", "99999999999999999999", "١٢", "0x-1", "$ 1",
        "\x01"
        "1"}) {
    try {
      StrToInt(text);
      ADD_FAILURE() << "no exception for '" << text << "'";
    } catch (const EConvertError& e) {
      EXPECT_EQ(e.Message(), "'" + std::string(text) + "' is not a valid integer value");
      EXPECT_STREQ(e.what(), e.Message().c_str());
    }
    EXPECT_EQ(StrToIntDef(text, -7), -7) << text;
  }
}

TEST(SameTextAscii, OnlyAsciiLettersIgnoreCase) {
  EXPECT_TRUE(framework::SameTextAscii("LocalHost", "LOCALHOST"));
  EXPECT_TRUE(framework::SameTextAscii("", ""));
  EXPECT_FALSE(framework::SameTextAscii("localhost", "localhost."));
  EXPECT_FALSE(framework::SameTextAscii("[", "{"));  // 0x5B and 0x7B differ by the case bit
  EXPECT_FALSE(framework::SameTextAscii("\xC3\xA9", "\xC3\x89"));  // é and É: not ASCII
}

namespace {

struct Counted : framework::TComponent {
  Counted(framework::TComponent* owner, int& alive) : TComponent(owner), alive_(alive) { ++alive_; }
  ~Counted() override { --alive_; }
  int& alive_;
};

}  // namespace

TEST(TComponent, AnOwnerFreesWhatItOwnsAndAComponentGoneFirstLeavesItsList) {
  int alive = 0;
  {
    framework::TComponent owner;
    auto* a = new Counted(&owner, alive);
    auto* b = new Counted(&owner, alive);
    new Counted(b, alive);  // owned in turn
    EXPECT_EQ(alive, 3);
    EXPECT_EQ(owner.ComponentCount(), 2);
    EXPECT_EQ(owner.Components(0), a);
    EXPECT_EQ(b->Owner(), &owner);
    delete a;
    EXPECT_EQ(alive, 2);
    ASSERT_EQ(owner.ComponentCount(), 1);
    EXPECT_EQ(owner.Components(0), b);
  }
  EXPECT_EQ(alive, 0);  // b and what b owned went with the owner, once each
}
