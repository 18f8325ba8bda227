#include "components/RunJournal.h"

#include <sqlite3.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <system_error>

namespace components {

namespace {

// How long a write waits for another program (a second window, the query tool) that holds the
// journal, before the sample is given up as not kept: milliseconds. Short against the shortest
// sensible "Auto Interval", so that a held journal never stalls the measuring for long.
constexpr int kBusyTimeoutMs = 1000;

// Runs: one per "Clear" or start of measuring; samples: one per accepted sample. Sample rows
// refer to their run; the index reads a run back in the order it was taken.
constexpr const char* kSchema =
    "CREATE TABLE IF NOT EXISTS runs ("
    " id INTEGER PRIMARY KEY AUTOINCREMENT,"
    " started_utc_ms INTEGER NOT NULL,"  // milliseconds since 1970 UTC
    " program TEXT NOT NULL);"
    "CREATE TABLE IF NOT EXISTS samples ("
    " id INTEGER PRIMARY KEY AUTOINCREMENT,"
    " run INTEGER NOT NULL REFERENCES runs(id),"
    " utc_ms INTEGER NOT NULL,"                 // milliseconds since 1970 UTC
    " host TEXT NOT NULL,"                      // UTF-8
    " computer_error REAL NOT NULL,"            // seconds, positive: the computer is ahead
    " round_trip_delay REAL NOT NULL,"          // seconds
    " precise_computer_error REAL NOT NULL,"    // seconds, full resolution
    " precise_round_trip_delay REAL NOT NULL,"  // seconds, full resolution
    " fit_time REAL NOT NULL,"                  // seconds since 1970 UTC, the exchange's middle
    " local_time REAL NOT NULL,"                // local date-time, days since 1899-12-30
    " valid INTEGER NOT NULL);"
    "CREATE INDEX IF NOT EXISTS samples_by_run ON samples(run, id);";

bool Damaged(int code) {
  return code == SQLITE_CORRUPT || code == SQLITE_NOTADB;
}

// Now as "20261209T152433Z", for the name a damaged journal is set aside under.
std::string UtcStamp() {
  const std::time_t now = std::time(nullptr);
  std::tm utc{};
  gmtime_r(&now, &utc);
  char text[32];
  std::strftime(text, sizeof text, "%Y%m%dT%H%M%SZ", &utc);
  return text;
}

// A prepared statement, finalized on every path.
class TStatement {
 public:
  TStatement(sqlite3* db, const char* sql) {
    sqlite3_prepare_v2(db, sql, -1, &statement_, nullptr);
  }
  ~TStatement() { sqlite3_finalize(statement_); }
  TStatement(const TStatement&) = delete;
  TStatement& operator=(const TStatement&) = delete;
  sqlite3_stmt* get() const { return statement_; }
  bool Ready() const { return statement_ != nullptr; }

 private:
  sqlite3_stmt* statement_ = nullptr;
};

}  // namespace

TRunJournal::TRunJournal(std::string path, std::string program)
    : path_(std::move(path)), program_(std::move(program)) {}

TRunJournal::~TRunJournal() {
  Close();
}

std::string TRunJournal::DefaultPath() {
  std::string state;
  if (const char* xdg = std::getenv("XDG_STATE_HOME"); xdg != nullptr && xdg[0] == '/') {
    state = xdg;
  } else {
    const char* home = std::getenv("HOME");
    state = std::string(home != nullptr ? home : "") + "/.local/state";
  }
  return state + "/tempomere/journal.sqlite";
}

void TRunJournal::Close() {
  if (db_ != nullptr) sqlite3_close_v2(db_);
  db_ = nullptr;
}

bool TRunJournal::Exec(const char* sql) {
  return sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

bool TRunJournal::Open() {
  if (db_ != nullptr) return true;
  if (OpenFile()) return true;
  if (db_ == nullptr || !Damaged(sqlite3_errcode(db_))) return Fail("cannot be opened");
  SetAside();
  return OpenFile() || Fail("cannot be opened");
}

bool TRunJournal::OpenFile() {
  std::error_code error;
  const std::filesystem::path path(path_);
  if (path.has_parent_path()) std::filesystem::create_directories(path.parent_path(), error);
  // One connection per journal object, used by one thread at a time: no mutex of SQLite's.
  if (sqlite3_open_v2(path_.c_str(), &db_,
                      SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                      nullptr) != SQLITE_OK)
    return false;
  sqlite3_busy_timeout(db_, kBusyTimeoutMs);
  // WAL: a reader (a second window resuming) never blocks the writer; FULL: a committed sample
  // survives a power cut as well as a killed process.
  if (!Exec("PRAGMA journal_mode=WAL") || !Exec("PRAGMA synchronous=FULL")) return false;
  // A run of days is read back through a memory map rather than a read call per page; the
  // map is address space (bytes), not memory taken.
  Exec("PRAGMA mmap_size=1073741824");
  if (maxPages_ > 0 && !Exec(("PRAGMA max_page_count=" + std::to_string(maxPages_)).c_str()))
    return false;
  return Exec(kSchema);
}

void TRunJournal::SetAside() {
  Close();
  const std::string aside = path_ + ".damaged-" + UtcStamp();
  std::error_code error;
  std::filesystem::rename(path_, aside, error);
  // The write-ahead log belongs to the damaged file: it goes with it, or the new journal would
  // take it up. The shared-memory index is rebuilt from the log.
  std::filesystem::rename(path_ + "-wal", aside + "-wal", error);
  std::filesystem::remove(path_ + "-shm", error);
  run_.reset();
  if (OnMessage)
    OnMessage("The journal \"" + path_ + "\" was damaged; it was set aside as \"" + aside +
              "\" and a new journal begun.");
}

bool TRunJournal::Fail(const std::string& what) {
  const std::string reason = db_ != nullptr ? sqlite3_errmsg(db_) : std::string("out of memory");
  if (db_ != nullptr && Damaged(sqlite3_errcode(db_))) {
    // Damaged while in use: set aside now, so the next sample begins the new journal.
    SetAside();
    faulted_ = false;
    return false;
  }
  // A file that could not be opened is tried again with the next sample: a freed disk or a
  // released lock lets the journal go on.
  Close();
  if (!faulted_ && OnMessage)
    OnMessage("The journal \"" + path_ + "\" " + what + " (" + reason +
              "); measuring goes on without it.");
  faulted_ = true;
  return false;
}

void TRunJournal::Recovered() {
  if (!faulted_) return;
  faulted_ = false;
  if (OnMessage) OnMessage("The journal \"" + path_ + "\" is written again.");
}

bool TRunJournal::InsertRun() {
  TStatement statement(db_, "INSERT INTO runs(started_utc_ms, program) VALUES(?, ?)");
  if (!statement.Ready()) return false;
  using namespace std::chrono;
  sqlite3_bind_int64(statement.get(), 1,
                     duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count());
  sqlite3_bind_text(statement.get(), 2, program_.c_str(), -1, SQLITE_TRANSIENT);
  if (sqlite3_step(statement.get()) != SQLITE_DONE) return false;
  run_ = sqlite3_last_insert_rowid(db_);
  return true;
}

bool TRunJournal::Append(const TJournalSample& sample) {
  return Append(std::span<const TJournalSample>(&sample, 1));
}

bool TRunJournal::Append(std::span<const TJournalSample> samples) {
  if (!Open()) return false;
  // One transaction: a new run's row and its first sample are kept together or not at all, and
  // a write lock is taken at once (waiting up to the busy time-out for another program).
  if (!Exec("BEGIN IMMEDIATE")) return Fail("cannot be written");
  const std::optional<std::int64_t> runBefore = run_;
  bool kept = run_.has_value() || InsertRun();
  TStatement statement(
      db_,
      "INSERT INTO samples(run, utc_ms, host, computer_error, round_trip_delay,"
      " precise_computer_error, precise_round_trip_delay, fit_time, local_time, valid)"
      " VALUES(?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
  kept = kept && statement.Ready();
  for (std::size_t i = 0; kept && i < samples.size(); ++i) {
    const TJournalSample& sample = samples[i];
    sqlite3_stmt* s = statement.get();
    sqlite3_reset(s);
    sqlite3_bind_int64(s, 1, *run_);
    sqlite3_bind_int64(s, 2, sample.UtcMilliseconds);
    sqlite3_bind_text(s, 3, sample.Host.data(), int(sample.Host.size()), SQLITE_STATIC);
    sqlite3_bind_double(s, 4, sample.Error);
    sqlite3_bind_double(s, 5, sample.RoundTripDelay);
    sqlite3_bind_double(s, 6, sample.PreciseError);
    sqlite3_bind_double(s, 7, sample.PreciseRoundTripDelay);
    sqlite3_bind_double(s, 8, sample.FitTime);
    sqlite3_bind_double(s, 9, sample.LocalTime);
    sqlite3_bind_int(s, 10, sample.Valid ? 1 : 0);
    kept = sqlite3_step(s) == SQLITE_DONE;
  }
  if (kept && Exec("COMMIT")) {
    Recovered();
    return true;
  }
  // Keep the reason before the rollback replaces it.
  const int code = sqlite3_errcode(db_);
  const std::string reason = sqlite3_errmsg(db_);
  Exec("ROLLBACK");
  run_ = runBefore;
  if (Damaged(code)) {
    SetAside();
    faulted_ = false;
    return false;
  }
  Close();
  if (!faulted_ && OnMessage)
    OnMessage("The journal \"" + path_ + "\" cannot be written (" + reason +
              "); measuring goes on without it.");
  faulted_ = true;
  return false;
}

std::optional<TJournalRun> TRunJournal::LastRun() {
  TJournalRun run;
  const std::optional<std::int64_t> id =
      ReadLastRun([&run](const TJournalSample& sample) { run.Samples.push_back(sample); });
  if (!id) return std::nullopt;
  run.Id = *id;
  return run;
}

std::optional<std::int64_t> TRunJournal::ReadLastRun(
    const std::function<void(const TJournalSample&)>& each,
    const std::function<void(std::size_t)>& expect) {
  if (!Open()) return std::nullopt;
  TStatement newest(db_,
                    "SELECT id FROM runs WHERE id IS NOT ? AND EXISTS"
                    " (SELECT 1 FROM samples WHERE run = runs.id AND valid)"
                    " ORDER BY id DESC LIMIT 1");
  if (!newest.Ready()) return Fail("cannot be read"), std::nullopt;
  if (run_)
    sqlite3_bind_int64(newest.get(), 1, *run_);
  else
    sqlite3_bind_null(newest.get(), 1);
  const int found = sqlite3_step(newest.get());
  if (found == SQLITE_DONE) return std::nullopt;
  if (found != SQLITE_ROW) return Fail("cannot be read"), std::nullopt;
  const std::int64_t id = sqlite3_column_int64(newest.get(), 0);

  // A run's samples lie in one stretch of the table, interleaved at most with another
  // program's: reading that stretch in row order is a sequential scan, where following the
  // index would look every row up on its own (several times slower for a run of days).
  TStatement bounds(db_, "SELECT min(id), max(id) FROM samples WHERE run = ?");
  if (!bounds.Ready()) return Fail("cannot be read"), std::nullopt;
  sqlite3_bind_int64(bounds.get(), 1, id);
  if (sqlite3_step(bounds.get()) != SQLITE_ROW) return Fail("cannot be read"), std::nullopt;
  const std::int64_t first = sqlite3_column_int64(bounds.get(), 0);
  const std::int64_t last = sqlite3_column_int64(bounds.get(), 1);
  if (expect) expect(std::size_t(last - first + 1));

  TStatement rows(db_,
                  "SELECT utc_ms, host, computer_error, round_trip_delay,"
                  " precise_computer_error, precise_round_trip_delay, fit_time, local_time"
                  " FROM samples NOT INDEXED WHERE id BETWEEN ? AND ? AND run = ? AND valid"
                  " ORDER BY id");
  if (!rows.Ready()) return Fail("cannot be read"), std::nullopt;
  sqlite3_bind_int64(rows.get(), 1, first);
  sqlite3_bind_int64(rows.get(), 2, last);
  sqlite3_bind_int64(rows.get(), 3, id);
  sqlite3_stmt* s = rows.get();
  int step;
  TJournalSample sample;
  while ((step = sqlite3_step(s)) == SQLITE_ROW) {
    sample.UtcMilliseconds = sqlite3_column_int64(s, 0);
    const auto* host = reinterpret_cast<const char*>(sqlite3_column_text(s, 1));
    sample.Host.assign(host != nullptr ? host : "", std::size_t(sqlite3_column_bytes(s, 1)));
    sample.Error = sqlite3_column_double(s, 2);
    sample.RoundTripDelay = sqlite3_column_double(s, 3);
    sample.PreciseError = sqlite3_column_double(s, 4);
    sample.PreciseRoundTripDelay = sqlite3_column_double(s, 5);
    sample.FitTime = sqlite3_column_double(s, 6);
    sample.LocalTime = sqlite3_column_double(s, 7);
    sample.Valid = true;
    each(sample);
  }
  if (step != SQLITE_DONE) return Fail("cannot be read"), std::nullopt;
  return id;
}

}  // namespace components
