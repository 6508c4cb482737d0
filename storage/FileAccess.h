// The key file's reader and writer, over the file operations that they are handed.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "storage/FileOperations.h"
#include "storage/StorageError.h"

namespace storage {

// A temporary file this much older than one that a writer has just made beside it was left by a
// write that no longer runs: a running writer, in this copy of the program or another, puts its
// own in place well within it. Both times are the folder's own, whatever clock stamped them.
inline constexpr std::int64_t kLeftoverAgeSeconds = 60;

// A write that failed and could not be undone: an in-place write whose old bytes could not be
// written back, so that the file may hold part of each; or a replace that left the key file's name
// free and could not give it to the new file, which then stays where it is.
class IncompleteWrite : public StorageError {
 public:
  IncompleteWrite(const StorageError& failure, std::string oldBytes, std::wstring newFile = {});
  const std::string& oldBytes() const { return oldBytes_; }
  // The full path of the file that holds the new content, or empty for the in-place write.
  const std::wstring& newFile() const { return newFile_; }

 private:
  std::string oldBytes_;
  std::wstring newFile_;
};

// Hands the file's bytes to `take` a block at a time until it returns true or the file ends.
// Throws StorageError with `whatFailed` when the file cannot be opened or read.
void readFileBlocks(FileOperations& files, const std::wstring& path, const wchar_t* whatFailed,
                    const std::function<bool(std::string_view)>& take);

// Writes `content` to the file that `path` names, behind any link, keeping its attributes: by
// default to a new file beside it, flushed, then put in its place in one step. In place, with the
// old bytes written back if that fails, where a replace would split hard links, where the key
// file may not be deleted, where the new file cannot be made, given the attributes or deleted, or
// where another program holds the key file without sharing its deletion. A read-only file is
// refused. Nothing is left behind on failure but a new file that the key file's name could not be
// given back to. A replace also removes what an interrupted write left beside the file. Throws
// StorageError, or IncompleteWrite where the failure could not be undone.
void replaceFileContent(FileOperations& files, const std::wstring& path, std::string_view content);

}  // namespace storage
