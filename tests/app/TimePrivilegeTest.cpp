#include "app/TimePrivilege.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "support/FakePlatformRate.h"

using app::TPrivilegeRefusal;
using app::TTimePrivilege;

namespace {

// A token that lists the entries a change changed, with their former state, as Windows and
// the Linux stand-in do.
class ListingSecurity : public testing_support::FakeSecurity {
 public:
  bool AdjustTokenPrivileges(platform::HANDLE token, bool disableAll,
                             const platform::TOKEN_PRIVILEGES* state, uint32_t bufferLength,
                             platform::TOKEN_PRIVILEGES* previous, uint32_t* length) override {
    const bool was = enabled;
    const bool done = FakeSecurity::AdjustTokenPrivileges(token, disableAll, state, bufferLength,
                                                          previous, length);
    previous->PrivilegeCount = was != enabled ? 1 : 0;
    previous->Privileges[0] = {state->Privileges[0].Luid, was ? platform::SE_PRIVILEGE_ENABLED : 0};
    return done;
  }
};

using Report = std::pair<TPrivilegeRefusal, uint32_t>;  // the refusal and its last error

struct GuardRow {
  const char* name;
  bool failOpen, failLookup, holdsPrivilege, enabledBefore;
  bool holds;  // while the guard lives
  std::vector<Report> reports;
  int adjustCalls;
  bool enabledAfter;
};

class TimePrivilege : public ::testing::TestWithParam<GuardRow> {};

TEST_P(TimePrivilege, GivesUpOnlyWhatItTurnedOnAndReportsEachRefusal) {
  const GuardRow& row = GetParam();
  ListingSecurity security;
  const platform::ScopedOverride<platform::SecurityApi> installed(security);
  security.failOpen = row.failOpen;
  security.failLookup = row.failLookup;
  security.holdsPrivilege = row.holdsPrivilege;
  security.enabled = row.enabledBefore;
  std::vector<Report> reports;
  {
    const TTimePrivilege privilege(
        [&](TPrivilegeRefusal refusal, uint32_t error) { reports.emplace_back(refusal, error); });
    EXPECT_EQ(privilege.Holds(), row.holds);
    EXPECT_EQ(security.enabled, row.holds);
  }
  EXPECT_EQ(reports, row.reports);
  EXPECT_EQ(security.adjustCalls, row.adjustCalls);
  EXPECT_EQ(security.enabled, row.enabledAfter);
  EXPECT_EQ(security.openTokens, 0);  // every token opened is closed
}

constexpr auto kNotHeld = TPrivilegeRefusal::NotHeld;
constexpr auto kNotOpened = TPrivilegeRefusal::TokenNotOpened;
constexpr auto kNotLookedUp = TPrivilegeRefusal::NotLookedUp;
constexpr uint32_t kNotAllAssigned = platform::ERROR_NOT_ALL_ASSIGNED;

// Each row: failOpen, failLookup, held, enabled before; Holds(), reports, adjust calls, enabled
// after.
// clang-format off
INSTANTIATE_TEST_SUITE_P(Rows, TimePrivilege, ::testing::Values(
    GuardRow{"OffIsTurnedOnThenOffAgain", false, false, true, false, true, {}, 2, false},
    GuardRow{"AlreadyOnStaysOn", false, false, true, true, true, {}, 1, true},
    GuardRow{"NotHeld", false, false, false, false, false, {{kNotHeld, kNotAllAssigned}}, 1, false},
    GuardRow{"TokenNotOpened", true, false, true, false, false, {{kNotOpened, 5}}, 0, false},
    GuardRow{"NameNotLookedUp", false, true, true, false, false, {{kNotLookedUp, 1313}}, 0, false}),
    [](const ::testing::TestParamInfo<GuardRow>& info) { return info.param.name; });
// clang-format on

}  // namespace
