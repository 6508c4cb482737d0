// What the key file's reader and writer are handed: the file operations of the system they run
// on, and nothing more. The reader and the writer are written once, over these, in FileAccess.cpp;
// a test hands them its own, which fail where it chooses. Each operation returns the system's
// error code, 0 for success.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/Unique.h"

namespace storage {

namespace os {

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

struct FolderEntry {
  NativePath name;
  // When the entry was last written, in seconds, on the clock of the system that stamped it:
  // comparable only with the times of other entries in the same folder.
  std::int64_t lastWritten = 0;
};

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
  // How a replace fails when it finds the key file away: another copy's replace may have moved it
  // aside for a moment, as Wine's does.
  std::array<Error, 3> targetAway;
};
extern const ErrorCodes kErrorCodes;

}  // namespace os

class FileOperations {
 public:
  using Error = os::Error;
  using File = os::File;
  using NativePath = os::NativePath;

  // A missing file is no error: `facts.exists` stays false.
  virtual Error inspect(const NativePath& path, os::FileFacts& facts) = 0;
  virtual Error openForReading(const NativePath& path, File& file) = 0;
  // Fails with kErrorCodes.nameTaken when something has the name already.
  virtual Error createNew(const NativePath& path, File& file) = 0;
  // For reading and writing, and sharing both with programs that hold the file.
  virtual Error openInPlace(const NativePath& path, File& file) = 0;
  virtual Error read(const File& file, char* buffer, std::size_t size, std::size_t& got) = 0;
  virtual Error writeAt(const File& file, std::uint64_t offset, std::string_view bytes,
                        std::size_t& written) = 0;
  virtual Error flush(const File& file) = 0;
  virtual Error setEnd(const File& file, std::uint64_t size) = 0;
  // Gives the closed file at `path` the kept state of the file that it will replace.
  virtual Error keepState(const NativePath& path, const os::FileFacts& replaced) = 0;
  // Puts `replacement` in the place of `target`, in one step, whether or not `target` exists. It
  // may fail half-way, whatever its code: `target` gone, and `replacement` still under its own
  // name.
  virtual Error replace(const NativePath& replacement, const NativePath& target) = 0;
  virtual Error remove(const NativePath& path) = 0;
  // The entries in `folder` (ending in a separator, or empty for the current folder). Best effort:
  // none where it cannot be listed.
  virtual std::vector<os::FolderEntry> entriesIn(const NativePath& folder) = 0;

 protected:
  // Never deleted through this interface: the system's lives as long as the program.
  ~FileOperations() = default;
};

// The file operations of the system that the program runs on.
FileOperations& systemFileOperations();

}  // namespace storage
