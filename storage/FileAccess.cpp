#include "storage/FileAccess.h"

namespace storage {

namespace {

WriteFaultHook faultHook = nullptr;

template <typename Char>
std::basic_string<Char> temporaryPath(const std::basic_string<Char>& target, std::uint32_t number) {
  std::basic_string<Char> path = target + Char('.');
  for (int shift = 28; shift >= 0; shift -= 4)
    path += Char("0123456789abcdef"[(number >> shift) & 0xF]);
  for (const char c : {'.', 't', 'm', 'p'}) path += Char(c);
  return path;
}

}  // namespace

std::wstring temporaryPathFor(const std::wstring& target, std::uint32_t number) {
  return temporaryPath(target, number);
}

std::string temporaryPathFor(const std::string& target, std::uint32_t number) {
  return temporaryPath(target, number);
}

WriteMethod chooseWriteMethod(bool targetExists, unsigned long linkCount, bool temporaryDenied,
                              bool replaceHeldOff) {
  if (!targetExists) return WriteMethod::Replace;
  if (linkCount > 1) return WriteMethod::InPlaceKeepingHardLinks;
  if (temporaryDenied) return WriteMethod::InPlaceInLockedFolder;
  if (replaceHeldOff) return WriteMethod::InPlaceWhileHeld;
  return WriteMethod::Replace;
}

void setWriteFaultHook(WriteFaultHook hook) { faultHook = hook; }

unsigned long injectedFault(WriteStep step) { return faultHook ? faultHook(step) : 0; }

}  // namespace storage
