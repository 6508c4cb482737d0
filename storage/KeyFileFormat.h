// The key file's format, with no I/O: where the file lies, the line that the writer makes, the
// reader over the file's bytes, and the names of the writer's temporary files beside it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace storage {

std::wstring keyFilePath(std::wstring_view installPath);

// The key file's whole content for a key already in the ANSI code page.
std::string keyFileLine(std::string_view ansiKey);

// Finds the key in the key file's bytes as they arrive, so that a reader can stop as soon as the
// key is known: it is what stands between the first two double quotes of the first line.
class AccessKeyScanner {
 public:
  // Takes the next bytes of the file. True once the rest of the file cannot change the result.
  bool take(std::string_view bytes);
  // The key's bytes, or nothing when the first line holds no key. Valid after the last take().
  std::optional<std::string> key() const;
  bool sawBytes() const { return sawBytes_; }

 private:
  enum class State { LeadingBlanks, BeforeKey, InKey, Found, NoKey };  // the last two are final
  State state_ = State::LeadingBlanks;
  bool sawBytes_ = false;
  std::string key_;
};

// The key in a whole key file's bytes.
std::optional<std::string> findAccessKey(std::string_view fileBytes);

// The writer's temporary file beside `target`: "<target>.<8 hex digits>.UpdateAccessKey.tmp", a
// name that no person and no other program gives a file.
std::wstring temporaryPathFor(std::wstring_view target, std::uint32_t number);

// True for a file name that the writer gives its temporary files for `targetName`, and for no
// other: only those are ever removed as leftovers.
bool isTemporaryOf(std::wstring_view fileName, std::wstring_view targetName);

}  // namespace storage
