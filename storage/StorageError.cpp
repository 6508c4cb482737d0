#include "storage/StorageError.h"

#include "resources/Texts.h"

namespace storage {

StorageError::StorageError(const wchar_t* whatFailed, std::wstring path, std::wstring reason,
                           Kind kind)
    : kind_(kind),
      path_(std::move(path)),
      reason_(std::move(reason)),
      message_(texts::fill(texts::kFailure, {whatFailed, path_, reason_})) {}

}  // namespace storage
