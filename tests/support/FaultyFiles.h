// The system's file operations, failing where a test chooses, as a full disk, a locked-down folder,
// another program or a crash would.
#pragma once

#include <functional>
#include <map>
#include <utility>
#include <vector>

#include "storage/FileOperations.h"

namespace testsupport {

enum class FileCall {
  Inspect,
  Describe,
  OpenForReading,
  CreateNew,
  OpenInPlace,
  Read,
  WriteAt,
  Flush,
  SetEnd,
  SetAttributes,
  MayDelete,
  Replace,
  Remove,
  RemoveOpen,
  EntriesIn
};

class FaultyFiles final : public storage::FileOperations {
  using File = storage::File;
  using Path = std::wstring;
  using enum FileCall;

 public:
  using Error = storage::Error;

  // The `nth` call of `call` (1 for the first, 0 for every one) fails with `code` in its place.
  void fail(FileCall call, Error code, int nth = 0) { failures_[{call, nth}] = code; }
  // Runs before each call that gets this far; a code other than 0 fails the call with it.
  std::function<Error(FileCall)> before;
  // Added to the time of every entry listed: the folder's clock that far ahead of the system's.
  std::int64_t folderClockAhead = 0;
  // How many times each call was made.
  std::map<FileCall, int> counts;

  // Each call is counted, and fails where the test chooses or reaches the system.
#define FAULTY_CALL(call, name, parameters, arguments)   \
  Error name parameters override {                       \
    if (const Error error = failure(call)) return error; \
    return system().name arguments;                      \
  }
  FAULTY_CALL(Inspect, inspect, (const Path& path, storage::FileFacts& facts), (path, facts))
  FAULTY_CALL(Describe, describe, (const File& file, storage::FileFacts& facts), (file, facts))
  FAULTY_CALL(OpenForReading, openForReading, (const Path& path, File& file), (path, file))
  FAULTY_CALL(CreateNew, createNew, (const Path& path, File& file), (path, file))
  FAULTY_CALL(OpenInPlace, openInPlace, (const Path& path, File& file), (path, file))
  FAULTY_CALL(Read, read, (const File& file, char* to, size_t size, size_t& got),
              (file, to, size, got))
  FAULTY_CALL(WriteAt, writeAt,
              (const File& file, uint64_t at, std::string_view bytes, size_t& done),
              (file, at, bytes, done))
  FAULTY_CALL(Flush, flush, (const File& file), (file))
  FAULTY_CALL(SetEnd, setEnd, (const File& file, std::uint64_t size), (file, size))
  FAULTY_CALL(SetAttributes, setAttributes, (const File& file, DWORD value), (file, value))
  FAULTY_CALL(MayDelete, mayDelete, (const Path& path), (path))
  FAULTY_CALL(Replace, replace, (const Path& from, const Path& to), (from, to))
  FAULTY_CALL(Remove, remove, (const Path& path), (path))
  FAULTY_CALL(RemoveOpen, removeOpen, (const File& file), (file))
#undef FAULTY_CALL
  std::vector<storage::FolderEntry> entriesIn(const Path& folder) override {
    if (failure(EntriesIn)) return {};
    std::vector<storage::FolderEntry> entries = system().entriesIn(folder);
    for (storage::FolderEntry& entry : entries) entry.lastWritten += folderClockAhead;
    return entries;
  }

 private:
  // Counts the call, and answers the code that it fails with, or 0 where it may go on.
  Error failure(FileCall call) {
    const int nth = ++counts[call];
    for (const int chosen : {nth, 0}) {
      const auto failure = failures_.find({call, chosen});
      if (failure != failures_.end() && failure->second) return failure->second;
    }
    return before ? before(call) : 0;
  }

  static storage::FileOperations& system() { return storage::systemFileOperations(); }

  std::map<std::pair<FileCall, int>, Error> failures_;
};

}  // namespace testsupport
