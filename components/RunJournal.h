#pragma once
// The journal of runs: every accepted sample appended, as it is taken, to an SQLite database
// (WAL mode), so that a run of days outlives a crash, a reboot or a closed window. Standard C++
// and SQLite only, so that the window and the command-line tool keep one journal format.
//
// A journal that cannot be opened or written never stops the measuring: each call reports the
// fault through OnMessage, once until the journal works again, and carries on without it. A
// damaged file is set aside under a new name and a new journal begun in its place.
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

struct sqlite3;

namespace components {

// One accepted sample as the journal keeps it.
struct TJournalSample {
  std::int64_t UtcMilliseconds = 0;  // since 1970-01-01 00:00 UTC, when it was taken
  std::string Host;                  // UTF-8, as it was asked
  double Error = 0;                  // seconds, positive when the computer's clock is ahead
  double RoundTripDelay = 0;         // seconds
  double PreciseError = 0;           // seconds, from the full-resolution readings
  double PreciseRoundTripDelay = 0;  // seconds
  double FitTime = 0;                // seconds since 1970 UTC: the exchange's middle
  double LocalTime = 0;              // local date-time (days) at which it was accepted
  bool Valid = true;                 // the reply passed the validity rules
};

// A run read back: its number in the journal and its samples, oldest first.
struct TJournalRun {
  std::int64_t Id = 0;
  std::vector<TJournalSample> Samples;
};

class TRunJournal {
 public:
  // The journal at `path`; nothing is opened before the first sample or read.
  explicit TRunJournal(std::string path, std::string program = "tempomere");
  ~TRunJournal();
  TRunJournal(const TRunJournal&) = delete;
  TRunJournal& operator=(const TRunJournal&) = delete;

  // $XDG_STATE_HOME/tempomere/journal.sqlite, or ~/.local/state/tempomere/journal.sqlite when
  // XDG_STATE_HOME is unset or not an absolute path.
  static std::string DefaultPath();

  const std::string& Path() const { return path_; }

  // Appends one sample to the current run, beginning one when there is none, and commits it.
  // False when it could not be kept (the fault has been reported).
  bool Append(const TJournalSample& sample);
  // Appends samples to the current run in one transaction.
  bool Append(std::span<const TJournalSample> samples);
  // The next sample begins a new run; nothing already kept is changed.
  void NewRun() { run_.reset(); }
  // The newest run with samples other than the current one, or none.
  std::optional<TJournalRun> LastRun();
  // The same run handed to `each` sample by sample, oldest first, without holding it all:
  // its number, or none (nothing is handed over then).
  // `expect` is told first how many samples at most will come, so that the caller can make
  // room for them at once.
  std::optional<std::int64_t> ReadLastRun(const std::function<void(const TJournalSample&)>& each,
                                          const std::function<void(std::size_t)>& expect = {});
  // Later samples go on in run `id` (a run read back by LastRun).
  void ContinueRun(std::int64_t id) { run_ = id; }
  std::optional<std::int64_t> CurrentRun() const { return run_; }

  // Told what went wrong (or that the journal works again), once per change.
  std::function<void(const std::string& message)> OnMessage;

  // For tests: caps the database at `pages` pages, as a full file system would.
  void SetMaxPageCount(int pages) { maxPages_ = pages; }

 private:
  bool Open();
  bool OpenFile();
  void Close();
  void SetAside();
  bool Fail(const std::string& what);
  void Recovered();
  bool Exec(const char* sql);
  bool InsertRun();
  bool Insert(const TJournalSample& sample);

  std::string path_;
  std::string program_;
  sqlite3* db_ = nullptr;
  std::optional<std::int64_t> run_;
  bool faulted_ = false;
  int maxPages_ = 0;
};

}  // namespace components
