// Windows paths past MAX_PATH: the system takes them only in the extended-length form, "\\?\"
// before a drive path and "\\?\UNC\" in place of a share's "\\". That form is taken as it stands,
// not normalised, so it is made only from a full path written with backslashes.
#pragma once

#include <string>
#include <string_view>

namespace storage {

// `fullPath` in the extended-length form once it is MAX_PATH characters long or longer; as it is
// while shorter, or when it has the form already.
std::wstring extendedLengthPath(std::wstring_view fullPath);

// The path as a person writes it: without the extended-length prefix.
std::wstring withoutExtendedLengthPrefix(std::wstring_view path);

}  // namespace storage
