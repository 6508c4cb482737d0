#include "storage/KeyFileFormat.h"

namespace storage {

namespace {

constexpr std::wstring_view kKeyFileBelowInstall = L"Firefox\\chrome\\content\\quorvantis.ini";
constexpr std::string_view kLinePrefix = "var accessKey = \"";
constexpr std::string_view kLineSuffix = "\";\r\n";
constexpr std::wstring_view kTemporarySuffix = L".UpdateAccessKey.tmp";
constexpr wchar_t kHexDigits[] = L"0123456789abcdef";
constexpr size_t kTemporaryDigits = 8;

bool endsLine(char c) { return c == '\r' || c == '\n'; }

}  // namespace

std::wstring keyFilePath(std::wstring_view installPath) {
  return std::wstring(installPath) + L'\\' + std::wstring(kKeyFileBelowInstall);
}

std::string keyFileLine(std::string_view ansiKey) {
  return std::string(kLinePrefix) + std::string(ansiKey) + std::string(kLineSuffix);
}

bool AccessKeyScanner::take(std::string_view bytes) {
  sawBytes_ = sawBytes_ || !bytes.empty();
  for (size_t i = 0; i < bytes.size() && state_ < State::Found; ++i) {
    const char c = bytes[i];
    if (state_ == State::InKey) {
      const size_t end = bytes.find_first_of("\"\r\n", i);
      key_.append(bytes.substr(i, end - i));
      if (end == std::string_view::npos) return false;
      state_ = bytes[end] == '"' ? State::Found : State::NoKey;
    } else if (c == '"') {
      // A line that opens with a double quote has always been refused: its quoted text is a
      // field of its own, not a key declaration.
      state_ = state_ == State::LeadingBlanks ? State::NoKey : State::InKey;
    } else if (endsLine(c)) {
      state_ = State::NoKey;
    } else if (c != ' ') {
      state_ = State::BeforeKey;
    }
  }
  return state_ >= State::Found;
}

std::optional<std::string> AccessKeyScanner::key() const {
  if (state_ != State::Found) return std::nullopt;
  return key_;
}

std::optional<std::string> findAccessKey(std::string_view fileBytes) {
  AccessKeyScanner scanner;
  scanner.take(fileBytes);
  return scanner.key();
}

std::wstring temporaryPathFor(std::wstring_view target, std::uint32_t number) {
  std::wstring path(target);
  path += L'.';
  for (int shift = 28; shift >= 0; shift -= 4) path += kHexDigits[(number >> shift) & 0xF];
  path += kTemporarySuffix;
  return path;
}

bool isTemporaryOf(std::wstring_view fileName, std::wstring_view targetName) {
  const size_t dot = targetName.size();
  return fileName.size() == dot + 1 + kTemporaryDigits + kTemporarySuffix.size() &&
         fileName.starts_with(targetName) && fileName[dot] == L'.' &&
         fileName.ends_with(kTemporarySuffix) &&
         fileName.substr(dot + 1, kTemporaryDigits).find_first_not_of(kHexDigits) == fileName.npos;
}

}  // namespace storage
