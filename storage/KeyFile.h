// The key file below the installation folder, whose line is in the system's ANSI code page: its
// reader and its writer, over the file operations that they are handed.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "storage/FileOperations.h"
#include "storage/KeyFileFormat.h"
#include "storage/SavableKey.h"
#include "storage/StorageError.h"

namespace storage {

// A temporary file this much older than one that a writer has just made beside it was left by a
// write that no longer runs: a running writer, in this copy of the program or another, puts its
// own in place well within it. Both times are the folder's own, whatever clock stamped them.
inline constexpr std::int64_t kLeftoverAgeSeconds = 60;

// The rights that the program runs with. With an administrator's, the installation folder may have
// been prepared by a program with the user's rights to lead the save to another file.
enum class Rights { User, Administrator };

// The ANSI code page of this process, in which the key file holds its text. Its encoder gives
// the bytes only when the code page holds every character exactly.
CodePage systemCodePage();

// Reads the key from the key file below `installPath`, waiting for about a second for a program
// that holds the file. Where the key file is missing because a save could not give its new file
// the key file's name, that file takes the name first. Throws StorageError.
std::wstring readCurrentAccessKey(FileOperations& files, std::wstring_view installPath);

// Replaces the key file below `installPath` with the line for `newAccessKey`. A key that the line
// cannot carry exactly is refused (StorageError::Kind::RefusedKey) before anything is touched.
// With the user's rights, the file behind any link is replaced in one step, or written in place
// where a replace cannot be made; with an administrator's, only the key file itself is written,
// in place, and links and second names on its way are refused. docs/reliability.md gives the
// whole policy. Throws StorageError.
void saveNewAccessKey(FileOperations& files, std::wstring_view installPath,
                      std::wstring_view newAccessKey, Rights rights);

}  // namespace storage
