#include "storage/StorageError.h"

#include "resources/Texts.h"

namespace storage {

StorageError::StorageError(const wchar_t* whatFailed, std::wstring path, std::wstring reason,
                           Kind kind)
    : kind_(kind), path_(std::move(path)), reason_(std::move(reason)), message_(whatFailed) {
  if (!path_.empty()) message_ += L"\r\n\r\n" + (texts::kFileLabel + path_);
  if (!reason_.empty()) message_ += L"\r\n" + (texts::kReasonLabel + reason_);
}

}  // namespace storage
