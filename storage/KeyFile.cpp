#include "storage/KeyFile.h"

#include "storage/AnsiText.h"
#include "storage/FileAccess.h"
#include "storage/StorageError.h"

namespace storage {

namespace {

constexpr std::wstring_view kKeyFileBelowInstall = L"Firefox\\chrome\\content\\quorvantis.ini";
constexpr std::string_view kLinePrefix = "var accessKey = \"";
constexpr std::string_view kLineSuffix = "\";\r\n";

bool endsLine(char c) { return c == '\r' || c == '\n'; }

}  // namespace

std::wstring keyFilePath(std::wstring_view installPath) {
  std::wstring path(installPath);
  path += L'\\';
  path += kKeyFileBelowInstall;
  return path;
}

std::string keyFileLine(std::string_view ansiKey) {
  std::string line;
  line.reserve(kLinePrefix.size() + ansiKey.size() + kLineSuffix.size());
  line += kLinePrefix;
  line += ansiKey;
  line += kLineSuffix;
  return line;
}

bool AccessKeyScanner::take(std::string_view bytes) {
  sawBytes_ = sawBytes_ || !bytes.empty();
  for (size_t i = 0; i < bytes.size(); ++i) {
    const char c = bytes[i];
    switch (state_) {
      case State::LeadingBlanks:
        if (c == ' ') break;
        // A line that opens with a double quote has always been refused: its quoted text is a
        // field of its own, not a key declaration.
        state_ = (c == '"' || endsLine(c)) ? State::NoKey : State::BeforeKey;
        break;
      case State::BeforeKey:
        if (c == '"') {
          state_ = State::InKey;
        } else if (endsLine(c)) {
          state_ = State::NoKey;
        }
        break;
      case State::InKey: {
        const size_t end = bytes.find_first_of("\"\r\n", i);
        key_.append(bytes.substr(i, end - i));
        if (end == std::string_view::npos) return false;
        state_ = bytes[end] == '"' ? State::Found : State::NoKey;
        return true;
      }
      case State::Found:
      case State::NoKey:
        return true;
    }
  }
  return state_ == State::Found || state_ == State::NoKey;
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

std::wstring scannedAccessKey(const AccessKeyScanner& scanner, const std::wstring& path) {
  if (!scanner.sawBytes()) {
    throw StorageError(StorageFailure::EmptyKeyFile, kReadFailed, path, L"The file is empty.");
  }
  std::optional<std::string> key = scanner.key();
  if (!key) {
    throw StorageError(StorageFailure::NoKeyInFile, kReadFailed, path,
                       L"Its first line holds no Access key between two double quotes.");
  }
  return fromAnsi(*key);
}

std::wstring readCurrentAccessKey(std::wstring_view installPath) {
  const std::wstring path = keyFilePath(installPath);
  AccessKeyScanner scanner;
  readFileBlocks(path, kReadFailed,
                 [&scanner](std::string_view block) { return scanner.take(block); });
  std::wstring key = scannedAccessKey(scanner, path);
  // A write that was cut short, by a crash or a power cut, left its temporary file behind.
  removeLeftoverTemporaries(path);
  return key;
}

void saveNewAccessKey(std::wstring_view installPath, std::wstring_view newAccessKey) {
  const std::wstring path = keyFilePath(installPath);
  removeLeftoverTemporaries(path);
  replaceFileContent(path, keyFileLine(toAnsi(newAccessKey)));
}

}  // namespace storage
