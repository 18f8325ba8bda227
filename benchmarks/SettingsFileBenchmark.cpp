// Start-up load of the saved host list from the settings file, as the main window does it (one
// read per key through the private-profile calls), for the largest list the window keeps and
// for files with many other keys; and the save of such a list. Each load starts with nothing
// parsed, as a freshly started program does.
#include <benchmark/benchmark.h>

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <string>

#include "app/HTEditHosts.h"
#include "framework/IniFiles.h"
#include "platform/posix/PosixPrivateProfile.h"

#include "RatioReporter.h"

namespace {

// A settings file holding `hosts` saved hosts, after `extraKeys` keys of another section.
std::string SettingsText(int hosts, int extraKeys) {
  std::string text;
  if (extraKeys > 0) {
    text += "[Other]\n";
    for (int i = 0; i < extraKeys; ++i) text += "Extra" + std::to_string(i) + "=value\n";
    text += "\n";
  }
  text += "[CurrentHosts]\nCount=" + std::to_string(hosts) + "\n";
  for (int i = 0; i < hosts; ++i)
    text += "Host" + std::to_string(i) + "=ntp" + std::to_string(i) + ".example.org\n";
  text += "CurrentInx=" + std::to_string(hosts - 1) + "\n";
  return text;
}

class SettingsFolder {
 public:
  explicit SettingsFolder(const std::string& text) {
    QDir().mkpath(Folder());
    QFile file(Folder() + "/" + app::kSettingsFileName);
    if (!file.open(QIODevice::WriteOnly)) std::abort();
    file.write(text.data(), static_cast<qint64>(text.size()));
  }
  QString Folder() const { return dir_.path() + "/config"; }

 private:
  QTemporaryDir dir_;
};

void BM_LoadHostsAtStart(benchmark::State& state) {
  const int hosts = int(state.range(0));
  const int extraKeys = int(state.range(1));
  const SettingsFolder folder(SettingsText(hosts, extraKeys));
  QComboBox combo;
  combo.setEditable(true);
  for (auto _ : state) {
    platform::PosixPrivateProfile profile(folder.Folder().toStdString());
    platform::ScopedOverride<platform::PrivateProfileApi> installed(profile);
    combo.clear();
    app::LoadHosts(combo);
    if (combo.count() != hosts) state.SkipWithError("the hosts were not all loaded");
  }
  state.SetItemsProcessed(state.iterations() * hosts);
}
BENCHMARK(BM_LoadHostsAtStart)
    ->Args({18, 0})
    ->Args({100, 0})
    ->Args({1000, 0})
    ->Args({1000, 4000})
    ->Args({1000, 100000})
    ->Unit(benchmark::kMillisecond);

// Key after key through the framework's file class alone, for lists of growing length: the
// time per key stays flat when the load is linear.
void BM_ReadKeyAfterKey(benchmark::State& state) {
  const int hosts = int(state.range(0));
  const SettingsFolder folder(SettingsText(hosts, 0));
  for (auto _ : state) {
    platform::PosixPrivateProfile profile(folder.Folder().toStdString());
    platform::ScopedOverride<platform::PrivateProfileApi> installed(profile);
    const framework::TIniFile ini(app::kSettingsFileName);
    for (int i = 0; i < hosts; ++i)
      benchmark::DoNotOptimize(ini.ReadString(app::kHostsSection, "Host" + std::to_string(i), {}));
  }
  state.SetItemsProcessed(state.iterations() * hosts);
}
BENCHMARK(BM_ReadKeyAfterKey)->RangeMultiplier(10)->Range(10, 10000)->Unit(benchmark::kMicrosecond);

// The first read of the largest file the reader accepts.
void BM_FirstReadOfLargestFile(benchmark::State& state) {
  std::string text = SettingsText(1000, 0);
  const std::string line = "Filler=" + std::string(100, 'x') + "\n";
  std::string filler = "[Filler]\n";
  while (text.size() + filler.size() + line.size() <= platform::PosixPrivateProfile::kMaxFileSize)
    filler += line;
  const SettingsFolder folder(filler + text);
  char value[64];
  for (auto _ : state) {
    platform::PosixPrivateProfile profile(folder.Folder().toStdString());
    profile.GetPrivateProfileStringA(app::kHostsSection, "Count", "", value, sizeof value,
                                     app::kSettingsFileName);
    if (std::string(value) != "1000") state.SkipWithError("the file was not read");
  }
}
BENCHMARK(BM_FirstReadOfLargestFile)->Unit(benchmark::kMillisecond);

void BM_SaveHosts(benchmark::State& state) {
  const int hosts = int(state.range(0));
  const SettingsFolder folder(SettingsText(hosts, 0));
  platform::PosixPrivateProfile profile(folder.Folder().toStdString());
  platform::ScopedOverride<platform::PrivateProfileApi> installed(profile);
  QComboBox combo;
  app::LoadHosts(combo);
  for (auto _ : state) app::SaveHosts(combo);
  state.SetItemsProcessed(state.iterations() * hosts);
}
BENCHMARK(BM_SaveHosts)->Arg(18)->Arg(1000)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  return benchmarks::RunOffscreen(argc, argv);
}
