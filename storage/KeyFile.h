// The key file below the installation folder, whose line is in the system's ANSI code page: its
// reader and its writer.
#pragma once

#include <string>
#include <string_view>

#include "storage/FileAccess.h"
#include "storage/FileOperations.h"
#include "storage/KeyLine.h"

namespace storage {

// The ANSI code page of this process, in which the key file holds its text. Its encoder gives
// the bytes only when the code page holds every character exactly.
CodePage systemCodePage();

// Reads the key from the key file below `installPath`. Throws StorageError.
std::wstring readCurrentAccessKey(FileOperations& files, std::wstring_view installPath);

// Replaces the key file below `installPath` with the line for `newAccessKey`, as
// replaceFileContent() writes. A key that the line cannot carry exactly is refused with
// StorageFailure::UnsavableKey, whose reason names the characters, before anything is touched.
// Where a failed write could not be undone, the error says what it left, where the new line is,
// and the key the file held. Throws StorageError.
void saveNewAccessKey(FileOperations& files, std::wstring_view installPath,
                      std::wstring_view newAccessKey);

}  // namespace storage
