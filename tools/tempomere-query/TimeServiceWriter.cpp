#include "tools/tempomere-query/TimeServiceWriter.h"

#include <nlohmann/json.hpp>

namespace tempomere_query {

namespace {

using nlohmann::json;

const char* KernelMode(const platform::KernelClockStatus& kernel) {
  if (kernel.frequencyMode) return "FLL";
  return kernel.discipline ? "PLL" : "none";
}

const char* YesNo(bool known, bool value) {
  if (!known) return "cannot tell";
  return value ? "yes" : "no";
}

}  // namespace

std::string TimeServiceText(const platform::TimeServiceFacts& facts) {
  const bool told = facts.busReachable && facts.timedatedPresent;
  std::string out = "Time Service: " + platform::TimeServiceSummary(facts) + "\n";
  out += std::string("System Bus: ") + (facts.busReachable ? "reachable" : "not reachable") + "\n";
  out += std::string("systemd-timedated: ") +
         (facts.timedatedPresent ? "present" : (facts.busReachable ? "absent" : "cannot tell")) +
         "\n";
  out += std::string("Network Time Synchronisation: ") + YesNo(told, facts.ntpOn) + "\n";
  out += std::string("Synchronised: ") + YesNo(told, facts.ntpSynchronized) + "\n";
  std::string services;
  for (const std::string& name : facts.services) services += (services.empty() ? "" : ", ") + name;
  if (!told || !facts.servicesKnown)
    services = "cannot tell";
  else if (services.empty())
    services = "none running";
  out += "Service: " + services + "\n";
  out += std::string("Kernel Clock Synchronised: ") +
         YesNo(facts.kernel.known, facts.kernel.synchronised) + "\n";
  out += std::string("Kernel Mode: ") +
         (facts.kernel.known ? KernelMode(facts.kernel) : "cannot tell") + "\n";
  if (!told) out += "Reason: " + facts.reason + "\n";
  if (!facts.kernel.known) out += "Kernel Reason: " + facts.kernel.reason + "\n";
  return out;
}

std::string TimeServiceJson(const platform::TimeServiceFacts& facts) {
  const bool told = facts.busReachable && facts.timedatedPresent;
  const auto known = [](bool isKnown, bool value) { return isKnown ? json(value) : json(nullptr); };
  json services = nullptr;
  if (told && facts.servicesKnown) services = facts.services;
  json kernel = {
      {"known", facts.kernel.known},
      {"synchronised", known(facts.kernel.known, facts.kernel.synchronised)},
      {"mode", facts.kernel.known ? json(KernelMode(facts.kernel)) : json(nullptr)},
      {"reason", facts.kernel.known ? json(nullptr) : json(facts.kernel.reason)},
  };
  const json document = {
      {"timeService",
       {
           {"summary", platform::TimeServiceSummary(facts)},
           {"busReachable", facts.busReachable},
           {"timedatedPresent", facts.timedatedPresent},
           {"ntp", known(told, facts.ntpOn)},
           {"ntpSynchronized", known(told, facts.ntpSynchronized)},
           {"canNtp", known(told, facts.canNtp)},
           {"services", services},
           {"reason", told ? json(nullptr) : json(facts.reason)},
           {"kernel", kernel},
       }},
  };
  return document.dump(2) + "\n";
}

}  // namespace tempomere_query
