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
  EntriesIn,
};

class FaultyFiles final : public storage::FileOperations {
 public:
  using Error = storage::Error;
  using File = storage::File;
  using Path = std::wstring;

  // The `nth` call of `call` (1 for the first, 0 for every one) fails with `code`, and never
  // reaches the system.
  void fail(FileCall call, Error code, int nth = 0) { failures_[{call, nth}] = code; }
  // Runs before each call that gets this far; a code other than 0 fails the call with it.
  std::function<Error(FileCall)> before;
  // Added to the time of every entry listed: the folder's clock that far ahead of the system's.
  std::int64_t folderClockAhead = 0;
  // How many times each call was made.
  std::map<FileCall, int> counts;

  Error inspect(const Path& path, storage::FileFacts& facts) override {
    return enter(FileCall::Inspect, [&] { return system().inspect(path, facts); });
  }
  Error openForReading(const Path& path, File& file) override {
    return enter(FileCall::OpenForReading, [&] { return system().openForReading(path, file); });
  }
  Error createNew(const Path& path, File& file) override {
    return enter(FileCall::CreateNew, [&] { return system().createNew(path, file); });
  }
  Error openInPlace(const Path& path, File& file) override {
    return enter(FileCall::OpenInPlace, [&] { return system().openInPlace(path, file); });
  }
  Error read(const File& file, char* buffer, std::size_t size, std::size_t& got) override {
    return enter(FileCall::Read, [&] { return system().read(file, buffer, size, got); });
  }
  Error writeAt(const File& file, std::uint64_t offset, std::string_view bytes,
                std::size_t& written) override {
    return enter(FileCall::WriteAt, [&] { return system().writeAt(file, offset, bytes, written); });
  }
  Error flush(const File& file) override {
    return enter(FileCall::Flush, [&] { return system().flush(file); });
  }
  Error setEnd(const File& file, std::uint64_t size) override {
    return enter(FileCall::SetEnd, [&] { return system().setEnd(file, size); });
  }
  Error setAttributes(const File& file, DWORD attributes) override {
    return enter(FileCall::SetAttributes, [&] { return system().setAttributes(file, attributes); });
  }
  Error mayDelete(const Path& path) override {
    return enter(FileCall::MayDelete, [&] { return system().mayDelete(path); });
  }
  Error replace(const Path& replacement, const Path& target) override {
    return enter(FileCall::Replace, [&] { return system().replace(replacement, target); });
  }
  Error remove(const Path& path) override {
    return enter(FileCall::Remove, [&] { return system().remove(path); });
  }
  Error removeOpen(const File& file) override {
    return enter(FileCall::RemoveOpen, [&] { return system().removeOpen(file); });
  }
  std::vector<storage::FolderEntry> entriesIn(const Path& folder) override {
    std::vector<storage::FolderEntry> entries;
    enter(FileCall::EntriesIn, [&] {
      entries = system().entriesIn(folder);
      for (storage::FolderEntry& entry : entries) entry.lastWritten += folderClockAhead;
      return Error{0};
    });
    return entries;
  }

 private:
  template <typename Call>
  Error enter(FileCall call, Call&& onTheSystem) {
    const int nth = ++counts[call];
    for (const int chosen : {nth, 0}) {
      const auto failure = failures_.find({call, chosen});
      if (failure != failures_.end() && failure->second) return failure->second;
    }
    if (before) {
      if (const Error error = before(call)) return error;
    }
    return onTheSystem();
  }

  static storage::FileOperations& system() { return storage::systemFileOperations(); }

  std::map<std::pair<FileCall, int>, Error> failures_;
};

}  // namespace testsupport
