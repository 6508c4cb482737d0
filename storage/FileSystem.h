// What each platform gives the key file's reader and writer: its own file operations and nothing
// more. Each returns the system's error code, 0 for success. The reader and the writer are
// written once, over these, in FileAccess.cpp.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/Unique.h"
#include "storage/StorageError.h"

namespace storage::os {

using Error = unsigned long;

#ifdef _WIN32
using NativeChar = wchar_t;
#else
using NativeChar = char;
#endif
using NativePath = std::basic_string<NativeChar>;

// The path as the system's calls take it: on Windows a full path, the key file's folder name being
// free to hold "/" or "..".
NativePath nativePath(const std::wstring& path);
// The path as the user reads it in a report.
std::wstring shownPath(const NativePath& path);

// An open file: a HANDLE on Windows, a descriptor elsewhere.
struct FileTraits {
#ifdef _WIN32
  using Handle = void*;
  static Handle invalid() { return reinterpret_cast<Handle>(-1); }  // INVALID_HANDLE_VALUE
#else
  using Handle = int;
  static Handle invalid() { return -1; }
#endif
  static void close(Handle handle);
};
using File = base::Unique<FileTraits>;

// The file behind a path, once every link on its way is followed.
struct FileFacts {
  NativePath finalPath;  // the path as given while there is no file
  bool exists = false;
  bool isFolder = false;
  bool readOnly = false;
  unsigned long linkCount = 0;
  // What a new file must be given to stand in for this one: attributes or permissions.
  unsigned long keptState = 0;
};

// A missing file is no error: `facts.exists` stays false.
Error inspect(const NativePath& path, FileFacts& facts);
Error openForReading(const NativePath& path, File& file);
// Fails with kErrorCodes.nameTaken when something has the name already.
Error createNew(const NativePath& path, File& file);
// For reading and writing, and sharing both with programs that hold the file.
Error openInPlace(const NativePath& path, File& file);
Error read(const File& file, char* buffer, std::size_t size, std::size_t& got);
Error writeAt(const File& file, std::uint64_t offset, std::string_view bytes, std::size_t& written);
Error flush(const File& file);
Error setEnd(const File& file, std::uint64_t size);
// Gives the closed file at `path` the kept state of the file that it will replace.
Error keepState(const NativePath& path, const FileFacts& replaced);
// Puts `replacement` in the place of `target`, in one step, whether or not `target` exists. It may
// fail half-way, whatever its code: `target` gone, and `replacement` still under its own name.
Error replace(const NativePath& replacement, const NativePath& target);
Error remove(const NativePath& path);
struct FolderEntry {
  NativePath name;
  // Since the entry was last written, by the system's clock: negative for a time to come.
  std::int64_t secondsSinceWritten = 0;
};
// The entries in `folder` (ending in a separator, or empty for the current folder). Best effort:
// none where it cannot be listed.
std::vector<FolderEntry> entriesIn(const NativePath& folder);

// The system's codes for what the reader and the writer react to. Unused places hold 0, which is
// no error.
struct ErrorCodes {
  Error fileNotFound;
  Error pathNotFound;
  Error nameTaken;
  std::array<Error, 4> accessDenied;  // the first is the one that a refused file is reported with
  // Another program, a virus scanner or the browser, may let go of the file in a moment.
  std::array<Error, 6> transient;
  // Another program holds the file without sharing its deletion.
  std::array<Error, 2> heldWithoutDeleteSharing;
};
extern const ErrorCodes kErrorCodes;

}  // namespace storage::os
