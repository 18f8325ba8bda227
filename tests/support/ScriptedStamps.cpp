#include "support/ScriptedStamps.h"

#include <cstring>

namespace testing_support {

ScriptedStamps* ScriptedStamps::current = nullptr;

namespace {

platform::ModuleApi& Real() {
  return platform::ModuleApi::Real();
}

template <class F>
F RealCall(const char* name) {
  return reinterpret_cast<F>(Real().GetProcAddress(Real().LoadLibraryA("wsock32.dll"), name));
}

int64_t Next(std::deque<int64_t>& stamps) {
  if (stamps.empty()) return 0;
  const int64_t stamp = stamps.front();
  stamps.pop_front();
  return stamp;
}

// The real call, which may find the system unwilling; the scripted stamps stand in all the same.
int EnableStamps(platform::SOCKET s) {
  static const auto real = RealCall<platform::Tenablestamps>("enablestamps");
  real(s);
  return 0;
}

int SendToStamped(platform::SOCKET s, const char* data, int length, int flags,
                  const platform::SOCKADDR_IN* to, int to_length, int stamp_wait_ms,
                  int64_t* stamp_ns) {
  static const auto real = RealCall<platform::Tsendtostamped>("sendtostamped");
  const int sent = real(s, data, length, flags, to, to_length, stamp_wait_ms, stamp_ns);
  ++ScriptedStamps::current->stamped_sends;
  if (stamp_ns) *stamp_ns = Next(ScriptedStamps::current->send_stamps);
  return sent;
}

int RecvFromStamped(platform::SOCKET s, char* buffer, int length, int flags,
                    platform::SOCKADDR_IN* from, int* from_length, int64_t* stamp_ns) {
  static const auto real = RealCall<platform::Trecvfromstamped>("recvfromstamped");
  const int received = real(s, buffer, length, flags, from, from_length, stamp_ns);
  ++ScriptedStamps::current->stamped_receives;
  if (stamp_ns) *stamp_ns = Next(ScriptedStamps::current->receive_stamps);
  return received;
}

}  // namespace

ScriptedStamps::ScriptedStamps(bool library_has_stamps) : library_has_stamps_(library_has_stamps) {
  current = this;
}

ScriptedStamps::~ScriptedStamps() {
  current = nullptr;
}

platform::HMODULE ScriptedStamps::LoadLibraryA(const char* name) {
  return Real().LoadLibraryA(name);
}

void* ScriptedStamps::GetProcAddress(platform::HMODULE module, const char* name) {
  const bool stamp_call = std::strcmp(name, "enablestamps") == 0 ||
                          std::strcmp(name, "sendtostamped") == 0 ||
                          std::strcmp(name, "recvfromstamped") == 0;
  if (stamp_call && !library_has_stamps_) return nullptr;
  if (std::strcmp(name, "enablestamps") == 0) return reinterpret_cast<void*>(&EnableStamps);
  if (std::strcmp(name, "sendtostamped") == 0) return reinterpret_cast<void*>(&SendToStamped);
  if (std::strcmp(name, "recvfromstamped") == 0) return reinterpret_cast<void*>(&RecvFromStamped);
  return Real().GetProcAddress(module, name);
}

bool ScriptedStamps::FreeLibrary(platform::HMODULE module) {
  return Real().FreeLibrary(module);
}

}  // namespace testing_support
