#include "storage/FileAccess.h"

namespace storage {

namespace {

WriteFaultHook faultHook = nullptr;

}  // namespace

std::wstring temporaryPathFor(const std::wstring& target, std::uint32_t number) {
  std::wstring path = target + L'.';
  for (int shift = 28; shift >= 0; shift -= 4) path += L"0123456789abcdef"[(number >> shift) & 0xF];
  return path + L".tmp";
}

void setWriteFaultHook(WriteFaultHook hook) { faultHook = hook; }

unsigned long injectedFault(WriteStep step) { return faultHook ? faultHook(step) : 0; }

}  // namespace storage
