#include "faulty_vfs.h"

#include <sqlite3.h>

#include <atomic>
#include <cstring>

namespace kvx::testing {

namespace {

struct State {
  sqlite3_vfs* base = nullptr;
  sqlite3_vfs vfs{};
  std::atomic<bool> armed{false};
  std::atomic<int> call{0};  // 0 write, 1 sync
  std::atomic<int> files{0};
  std::atomic<long> left{0};
  std::atomic<long> failures{0};
  std::atomic<long> busyLocks{0};
};
State state;

struct ShimFile {
  sqlite3_file file;  // first: SQLite sees this
  int kind;
  sqlite3_file* real;  // the base VFS's file, right after this struct
};

sqlite3_file* Real(sqlite3_file* f) { return reinterpret_cast<ShimFile*>(f)->real; }

bool Fails(sqlite3_file* f, FaultyVfs::Call call) {
  if (!state.armed || state.call != static_cast<int>(call)) return false;
  if ((reinterpret_cast<ShimFile*>(f)->kind & state.files) == 0) return false;
  if (state.left.fetch_sub(1) > 0) return false;
  ++state.failures;
  return true;
}

int Close(sqlite3_file* f) {
  const int rc = Real(f)->pMethods->xClose(Real(f));
  f->pMethods = nullptr;
  return rc;
}
int Read(sqlite3_file* f, void* buf, int n, sqlite3_int64 at) {
  return Real(f)->pMethods->xRead(Real(f), buf, n, at);
}
int Write(sqlite3_file* f, const void* buf, int n, sqlite3_int64 at) {
  if (Fails(f, FaultyVfs::Call::Write)) return SQLITE_FULL;
  return Real(f)->pMethods->xWrite(Real(f), buf, n, at);
}
int Truncate(sqlite3_file* f, sqlite3_int64 size) {
  return Real(f)->pMethods->xTruncate(Real(f), size);
}
int Sync(sqlite3_file* f, int flags) {
  if (Fails(f, FaultyVfs::Call::Sync)) return SQLITE_IOERR_FSYNC;
  return Real(f)->pMethods->xSync(Real(f), flags);
}
int FileSize(sqlite3_file* f, sqlite3_int64* size) {
  return Real(f)->pMethods->xFileSize(Real(f), size);
}
int Lock(sqlite3_file* f, int level) {
  const int rc = Real(f)->pMethods->xLock(Real(f), level);
  if ((rc & 0xFF) == SQLITE_BUSY) ++state.busyLocks;
  return rc;
}
int Unlock(sqlite3_file* f, int level) { return Real(f)->pMethods->xUnlock(Real(f), level); }
int CheckReservedLock(sqlite3_file* f, int* out) {
  return Real(f)->pMethods->xCheckReservedLock(Real(f), out);
}
int FileControl(sqlite3_file* f, int op, void* arg) {
  return Real(f)->pMethods->xFileControl(Real(f), op, arg);
}
int SectorSize(sqlite3_file* f) { return Real(f)->pMethods->xSectorSize(Real(f)); }
int DeviceCharacteristics(sqlite3_file* f) {
  return Real(f)->pMethods->xDeviceCharacteristics(Real(f));
}
int ShmMap(sqlite3_file* f, int page, int size, int extend, void volatile** out) {
  return Real(f)->pMethods->xShmMap(Real(f), page, size, extend, out);
}
int ShmLock(sqlite3_file* f, int offset, int n, int flags) {
  return Real(f)->pMethods->xShmLock(Real(f), offset, n, flags);
}
void ShmBarrier(sqlite3_file* f) { Real(f)->pMethods->xShmBarrier(Real(f)); }
int ShmUnmap(sqlite3_file* f, int drop) { return Real(f)->pMethods->xShmUnmap(Real(f), drop); }
int Fetch(sqlite3_file* f, sqlite3_int64 at, int n, void** out) {
  return Real(f)->pMethods->xFetch(Real(f), at, n, out);
}
int Unfetch(sqlite3_file* f, sqlite3_int64 at, void* p) {
  return Real(f)->pMethods->xUnfetch(Real(f), at, p);
}

const sqlite3_io_methods kMethods = {
    3,         Close,     Read,        Write,       Truncate,          Sync,
    FileSize,  Lock,      Unlock,      CheckReservedLock, FileControl, SectorSize,
    DeviceCharacteristics, ShmMap, ShmLock, ShmBarrier, ShmUnmap, Fetch,
    Unfetch};

int Open(sqlite3_vfs*, sqlite3_filename name, sqlite3_file* f, int flags, int* outFlags) {
  auto* shim = reinterpret_cast<ShimFile*>(f);
  shim->real = reinterpret_cast<sqlite3_file*>(shim + 1);
  shim->kind = (flags & SQLITE_OPEN_MAIN_DB)        ? FaultyVfs::kMainDb
               : (flags & SQLITE_OPEN_WAL)          ? FaultyVfs::kWal
               : (flags & SQLITE_OPEN_MAIN_JOURNAL) ? FaultyVfs::kRollbackJournal
                                                    : 0;
  std::memset(shim->real, 0, static_cast<std::size_t>(state.base->szOsFile));
  const int rc = state.base->xOpen(state.base, name, shim->real, flags, outFlags);
  f->pMethods = shim->real->pMethods != nullptr ? &kMethods : nullptr;
  return rc;
}

// The other calls go to the base VFS with the base VFS itself, as it expects.
int Delete(sqlite3_vfs*, const char* name, int sync) {
  return state.base->xDelete(state.base, name, sync);
}
int Access(sqlite3_vfs*, const char* name, int flags, int* out) {
  return state.base->xAccess(state.base, name, flags, out);
}
int FullPathname(sqlite3_vfs*, const char* name, int n, char* out) {
  return state.base->xFullPathname(state.base, name, n, out);
}
void* DlOpen(sqlite3_vfs*, const char* name) { return state.base->xDlOpen(state.base, name); }
void DlError(sqlite3_vfs*, int n, char* out) { state.base->xDlError(state.base, n, out); }
void (*DlSym(sqlite3_vfs*, void* lib, const char* sym))(void) {
  return state.base->xDlSym(state.base, lib, sym);
}
void DlClose(sqlite3_vfs*, void* lib) { state.base->xDlClose(state.base, lib); }
int Randomness(sqlite3_vfs*, int n, char* out) {
  return state.base->xRandomness(state.base, n, out);
}
int Sleep(sqlite3_vfs*, int us) { return state.base->xSleep(state.base, us); }
int CurrentTime(sqlite3_vfs*, double* out) { return state.base->xCurrentTime(state.base, out); }
int GetLastError(sqlite3_vfs*, int n, char* out) {
  return state.base->xGetLastError(state.base, n, out);
}
int CurrentTimeInt64(sqlite3_vfs*, sqlite3_int64* out) {
  return state.base->xCurrentTimeInt64(state.base, out);
}

}  // namespace

FaultyVfs::FaultyVfs() {
  sqlite3_initialize();
  if (state.base == nullptr) {
    state.base = sqlite3_vfs_find(nullptr);
    sqlite3_vfs& v = state.vfs;
    v.iVersion = 2;
    v.szOsFile = static_cast<int>(sizeof(ShimFile)) + state.base->szOsFile;
    v.mxPathname = state.base->mxPathname;
    v.zName = "kvx-faulty";
    v.xOpen = Open;
    v.xDelete = Delete;
    v.xAccess = Access;
    v.xFullPathname = FullPathname;
    v.xDlOpen = DlOpen;
    v.xDlError = DlError;
    v.xDlSym = DlSym;
    v.xDlClose = DlClose;
    v.xRandomness = Randomness;
    v.xSleep = Sleep;
    v.xCurrentTime = CurrentTime;
    v.xGetLastError = GetLastError;
    v.xCurrentTimeInt64 = CurrentTimeInt64;
  }
  Heal();
  state.busyLocks = 0;
  sqlite3_vfs_register(&state.vfs, 1);
}

FaultyVfs::~FaultyVfs() {
  Heal();
  sqlite3_vfs_unregister(&state.vfs);
  sqlite3_vfs_register(state.base, 1);
}

void FaultyVfs::FailAfter(Call call, int files, long after) {
  state.armed = false;
  state.call = static_cast<int>(call);
  state.files = files;
  state.left = after;
  state.failures = 0;
  state.armed = true;
}

void FaultyVfs::Heal() { state.armed = false; }

long FaultyVfs::Failures() const { return state.failures; }

long FaultyVfs::BusyLocks() const { return state.busyLocks; }

}  // namespace kvx::testing
