#include "storage/StorageError.h"

#include "resources/Texts.h"
#include "storage/Utf8.h"

namespace storage {

namespace {

std::wstring composeMessage(const std::wstring& whatFailed, const std::wstring& path,
                            const std::wstring& reason) {
  std::wstring text = whatFailed;
  if (!path.empty()) text += L"\r\n\r\n" + (texts::kFileLabel + path);
  if (!reason.empty()) text += L"\r\n" + (texts::kReasonLabel + reason);
  return text;
}

}  // namespace

StorageError::StorageError(StorageFailure kind, std::wstring whatFailed, std::wstring path,
                           std::wstring reason)
    : std::runtime_error(toUtf8(composeMessage(whatFailed, path, reason))),
      kind_(kind),
      path_(std::move(path)),
      reason_(std::move(reason)),
      message_(composeMessage(whatFailed, path_, reason_)) {}

}  // namespace storage
