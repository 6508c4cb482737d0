// The key file's reader and writer, written once over each platform's file operations
// (FileOperations.h), which they are handed.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "storage/FileOperations.h"
#include "storage/StorageError.h"

namespace storage {

// The writer's temporary file beside `target`: "<target>.<8 hex digits>.tmp".
std::wstring temporaryPathFor(const std::wstring& target, std::uint32_t number);
std::string temporaryPathFor(const std::string& target, std::uint32_t number);

// True for a file name that the writer gives its temporary files for `targetName`, and for no
// other: only those are ever removed as leftovers.
template <typename Char>
bool isTemporaryOf(std::basic_string_view<Char> fileName, std::basic_string_view<Char> targetName) {
  constexpr size_t kDigits = 8;
  const size_t size = targetName.size() + 1 + kDigits + 4;
  if (fileName.size() != size || fileName.substr(0, targetName.size()) != targetName) return false;
  if (fileName[targetName.size()] != Char('.')) return false;
  for (size_t i = targetName.size() + 1; i < targetName.size() + 1 + kDigits; ++i) {
    const Char c = fileName[i];
    if (!((c >= Char('0') && c <= Char('9')) || (c >= Char('a') && c <= Char('f')))) return false;
  }
  const Char suffix[] = {Char('.'), Char('t'), Char('m'), Char('p')};
  return fileName.substr(size - 4) == std::basic_string_view<Char>(suffix, 4);
}

// A temporary file this much older than one that a writer has just made beside it was left by a
// write that no longer runs: a running writer, in this copy of the program or another, puts its
// own in place well within it. Both times are the folder's own, whatever clock stamped them.
inline constexpr std::int64_t kLeftoverAgeSeconds = 60;

// How the new line gets into the key file.
enum class WriteMethod {
  // A new file beside the target takes its place: the old line stays whole until the new one is
  // on disk.
  Replace,
  // The file has several names, and a replace would leave the others holding the old key.
  InPlaceKeepingHardLinks,
  // The folder refuses new files, but the key file itself may be written, as an installer that
  // grants the right on that one file leaves it.
  InPlaceInLockedFolder,
  // Another program holds the file without sharing its deletion, so it cannot be replaced, but
  // it shares writing, as many readers do.
  InPlaceWhileHeld,
  // The key file may be written but not deleted, as an installer that grants users write access
  // alone leaves it, and a replace deletes it.
  InPlaceWithoutDeleteRight,
};

// What stood in the way of a replace, where the file itself may still be written.
enum class ReplaceRefusal {
  None,
  // Making the temporary file beside the target was refused for want of access.
  TemporaryDenied,
  // The replace kept failing because another program holds the target without sharing its
  // deletion.
  HeldWithoutDeleteSharing,
  // The replace itself was refused for want of access.
  ReplaceDenied,
};

// The one decision between them.
WriteMethod chooseWriteMethod(bool targetExists, unsigned long linkCount, ReplaceRefusal refusal);

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
// default to a new file beside it, flushed, then put in its place in one step; where that would
// split hard links, where the new file or the replace is refused, or where another program holds
// the file open, in place, with the old bytes written back if that fails. A read-only file is
// refused. Nothing is left behind on failure but a new file that the key file's name could not be
// given back to. A replace also removes what an interrupted write left beside the file. Throws
// StorageError, or IncompleteWrite where the failure could not be undone.
void replaceFileContent(FileOperations& files, const std::wstring& path, std::string_view content);

}  // namespace storage
