// The platform's file operations behind the key file.
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace storage {

// Hands the file's bytes to `take` a block at a time until it returns true or the file ends.
// Throws StorageError with `whatFailed` when the file cannot be opened or read.
void readFileBlocks(const std::wstring& path, const wchar_t* whatFailed,
                    const std::function<bool(std::string_view)>& take);

// Writes `content` to a new file beside `path`, flushes it, then puts it in place of `path` in
// one step. A read-only file is refused; nothing is left behind on failure. Throws StorageError.
void replaceFileContent(const std::wstring& path, std::string_view content);

}  // namespace storage
