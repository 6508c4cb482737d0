// The file operations that the key file's reader and writer are handed: the system's, or a test's
// that wraps them to fail where it chooses. Each returns the system's error code, 0 for success.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "win32/ScopedHandle.h"

namespace storage {

using Error = DWORD;
using File = win32::ScopedFile;

// The file behind a path or a handle, once every link on its way is followed.
struct FileFacts {
  // Where the file really is: the path as given while there is no file, or for a path on a volume
  // that has no drive letter; empty for such a handle.
  std::wstring finalPath;
  bool exists = false;
  bool isFolder = false;
  bool readOnly = false;
  DWORD linkCount = 0;
  // The attributes that a new file must be given to stand in for this one.
  DWORD keptAttributes = 0;
};

struct FolderEntry {
  std::wstring name;
  // When the entry was last written, in seconds, on the clock of the system that stamped it:
  // comparable only with the times of other entries in the same folder.
  std::int64_t lastWritten = 0;
};

class FileOperations {
 public:
  // A missing file is no error: `facts.exists` stays false.
  virtual Error inspect(const std::wstring& path, FileFacts& facts) = 0;
  // The facts of the open file itself, whatever has the name since.
  virtual Error describe(const File& file, FileFacts& facts) = 0;
  virtual Error openForReading(const std::wstring& path, File& file) = 0;
  // Fails with ERROR_FILE_EXISTS when something has the name already. The file is opened for
  // deletion, as in a folder that lets users make files but not delete them only the handle that
  // made it can remove it, and shares its deletion, so that mayDelete() can ask by its path.
  virtual Error createNew(const std::wstring& path, File& file) = 0;
  // For reading and writing, sharing both with programs that hold the file.
  virtual Error openInPlace(const std::wstring& path, File& file) = 0;
  virtual Error read(const File& file, char* buffer, std::size_t size, std::size_t& got) = 0;
  virtual Error writeAt(const File& file, std::uint64_t offset, std::string_view bytes,
                        std::size_t& written) = 0;
  virtual Error flush(const File& file) = 0;
  virtual Error setEnd(const File& file, std::uint64_t size) = 0;
  virtual Error setAttributes(const File& file, DWORD attributes) = 0;
  // Whether the file may be opened for deletion, as a replace opens it: ERROR_ACCESS_DENIED
  // without the right, ERROR_SHARING_VIOLATION while another program holds it without sharing
  // its deletion.
  virtual Error mayDelete(const std::wstring& path) = 0;
  // Puts the closed `replacement` in the place of `target`, in one step, whether or not `target`
  // exists, and fails where it cannot carry `target`'s own access rules over. It may fail
  // half-way, whatever its code: `target` gone, and `replacement` still under its own name.
  virtual Error replace(const std::wstring& replacement, const std::wstring& target) = 0;
  virtual Error remove(const std::wstring& path) = 0;
  // Deletes the open file once it is closed; the file must have been opened for deletion.
  virtual Error removeOpen(const File& file) = 0;
  // The entries in `folder`, which ends in a separator. Best effort: none where it cannot be
  // listed.
  virtual std::vector<FolderEntry> entriesIn(const std::wstring& folder) = 0;

 protected:
  // Never deleted through this interface: the system's lives as long as the program.
  ~FileOperations() = default;
};

FileOperations& systemFileOperations();

// The path as the system's calls take it: a full path, so that the key file's folder name is free
// to hold "/" or "..".
std::wstring fullPath(const std::wstring& path);

// The system's description of one of its error codes.
std::wstring systemErrorText(Error code);

}  // namespace storage
