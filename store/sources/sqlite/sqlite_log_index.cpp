// A file in write-ahead-log mode read without an index of its log beside it.
#include "store/sources/sqlite/sqlite_log_index.h"

#include <sqlite3.h>

#include <cstring>
#include <new>
#include <vector>

namespace {

// SQLite keeps the index of a write-ahead log in a shared-memory file beside the database, which
// a reader creates when there is none (and cannot, in a folder it may not write). Locking mode
// EXCLUSIVE would keep it in memory instead, but takes a write lock that a read-only file cannot
// have, and nolock=1 refuses the log altogether. So a file whose log has no index beside it (its
// writer has gone) is opened through this VFS: the default one, with the index in this
// connection's own memory and its locks always granted, as for the only reader there is.
struct HeapIndexFile {
  sqlite3_file base;
  std::vector<void*>* regions;  // of the index, each szRegion bytes
  sqlite3_file* real() { return reinterpret_cast<sqlite3_file*>(this + 1); }
};

sqlite3_vfs* gDefaultVfs = nullptr;

HeapIndexFile* heapFile(sqlite3_file* file) {
  return reinterpret_cast<HeapIndexFile*>(file);
}

// A method of the default VFS's file, called on the file this one wraps.
template <typename Method, Method sqlite3_io_methods::*kMethod>
struct Forward;
template <typename Result, typename... Args,
          Result (*sqlite3_io_methods::*kMethod)(sqlite3_file*, Args...)>
struct Forward<Result (*)(sqlite3_file*, Args...), kMethod> {
  static Result call(sqlite3_file* file, Args... args) {
    sqlite3_file* real = heapFile(file)->real();
    return (real->pMethods->*kMethod)(real, args...);
  }
};
#define TAVRINEL_FORWARD(method) \
  Forward<decltype(sqlite3_io_methods::method), &sqlite3_io_methods::method>::call

int heapClose(sqlite3_file* file) {
  HeapIndexFile* own = heapFile(file);
  if (own->regions != nullptr) {
    for (void* region : *own->regions) {
      sqlite3_free(region);
    }
    delete own->regions;
    own->regions = nullptr;
  }
  return own->real()->pMethods->xClose(own->real());
}
int heapShmMap(sqlite3_file* f, int region, int regionSize, int, void volatile** out) {
  HeapIndexFile* own = heapFile(f);
  if (own->regions == nullptr) {
    own->regions = new (std::nothrow) std::vector<void*>();
    if (own->regions == nullptr) {
      return SQLITE_NOMEM;
    }
  }
  std::vector<void*>& regions = *own->regions;
  while (static_cast<int>(regions.size()) <= region) {
    void* memory = sqlite3_malloc(regionSize);
    if (memory == nullptr) {
      return SQLITE_NOMEM;
    }
    std::memset(memory, 0, static_cast<std::size_t>(regionSize));
    regions.push_back(memory);
  }
  *out = regions[static_cast<std::size_t>(region)];
  return SQLITE_OK;
}
int heapShmLock(sqlite3_file*, int, int, int) {
  return SQLITE_OK;
}
void heapShmBarrier(sqlite3_file*) {}
int heapShmUnmap(sqlite3_file*, int) {
  return SQLITE_OK;
}  // freed on close
int heapFetch(sqlite3_file*, sqlite3_int64, int, void** out) {
  *out = nullptr;  // no memory mapping: pages are read
  return SQLITE_OK;
}
int heapUnfetch(sqlite3_file*, sqlite3_int64, void*) {
  return SQLITE_OK;
}

const sqlite3_io_methods kHeapIndexMethods = {3,
                                              heapClose,
                                              TAVRINEL_FORWARD(xRead),
                                              TAVRINEL_FORWARD(xWrite),
                                              TAVRINEL_FORWARD(xTruncate),
                                              TAVRINEL_FORWARD(xSync),
                                              TAVRINEL_FORWARD(xFileSize),
                                              TAVRINEL_FORWARD(xLock),
                                              TAVRINEL_FORWARD(xUnlock),
                                              TAVRINEL_FORWARD(xCheckReservedLock),
                                              TAVRINEL_FORWARD(xFileControl),
                                              TAVRINEL_FORWARD(xSectorSize),
                                              TAVRINEL_FORWARD(xDeviceCharacteristics),
                                              heapShmMap,
                                              heapShmLock,
                                              heapShmBarrier,
                                              heapShmUnmap,
                                              heapFetch,
                                              heapUnfetch};
#undef TAVRINEL_FORWARD

int heapOpen(sqlite3_vfs*, sqlite3_filename name, sqlite3_file* file, int flags, int* outFlags) {
  HeapIndexFile* own = heapFile(file);
  own->base.pMethods = nullptr;
  own->regions = nullptr;
  int status = gDefaultVfs->xOpen(gDefaultVfs, name, own->real(), flags, outFlags);
  if (status == SQLITE_OK && own->real()->pMethods != nullptr) {
    own->base.pMethods = &kHeapIndexMethods;
  }
  return status;
}

}  // namespace

const char* heapIndexVfs() {
  static sqlite3_vfs vfs = [] {
    gDefaultVfs = sqlite3_vfs_find(nullptr);
    sqlite3_vfs copy = *gDefaultVfs;
    copy.szOsFile = static_cast<int>(sizeof(HeapIndexFile)) + gDefaultVfs->szOsFile;
    copy.zName = "tavrinel-log-index-in-memory";
    copy.pAppData = nullptr;
    copy.xOpen = heapOpen;
    sqlite3_vfs_register(&copy, 0);
    return copy;
  }();
  return vfs.zName;
}
