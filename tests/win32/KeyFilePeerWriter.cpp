// Writes key files for the extension's script engine to read, in the process's ANSI code page:
//   KeyFilePeerWriter.exe FOLDER
// FOLDER\codepage holds the code page's number. Each case gets a folder FOLDER\NN with:
//   name       what the case is, in ASCII
//   typed      the key as typed, in UTF-8
//   verdict    "saved" for a key the writer took, "refused" for one it refused
//   Firefox\chrome\content\quorvantis.ini
//              saved: the writer's file; refused: the line as it would be without the refusal
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "storage/KeyFile.h"
#include "storage/StorageError.h"
#include "tests/support/InstallFolder.h"
#include "tests/support/Utf8.h"

namespace {

// A refused key as the code page would carry it: the system's default character or a look-alike
// where it has none.
std::string lossyAnsi(const std::wstring& text) {
  const int length = static_cast<int>(text.size());
  const int size =
      WideCharToMultiByte(CP_ACP, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
  std::string bytes(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_ACP, 0, text.data(), length, bytes.data(), size, nullptr, nullptr);
  return bytes;
}

struct PeerCase {
  const char* name;
  std::wstring key;
};

std::vector<PeerCase> savedCases(UINT codePage) {
  std::vector<PeerCase> cases = {
      {"plain", L"QV-7F3A-19C2-B84E"},
      {"plain, lower case and digits", L"k3y0f4ll"},
      {"blanks at either end", L"  spaced key  "},
      {"a tab", L"tab\there"},
      {"commas", L"a,b,,c"},
      {"ampersand", L"R&D"},
      {"single quotes", L"it's 'quoted'"},
      {"two slashes", L"a//b"},
      {"closing script tag", L"</script>"},
      {"dollar patterns", L"$1 $& ${x}"},
      {"40,000 characters", std::wstring(40000, L'k')},
  };
  if (codePage == 1252) cases.push_back({"e acute, euro, a umlaut", L"\u00e9\u20ac\u00e4"});
  if (codePage == 1251) cases.push_back({"Cyrillic", L"\u041a\u043b\u044e\u0447"});
  return cases;
}

// What the line would make of keys that are refused, had they been written as typed.
std::vector<PeerCase> refusedCases(UINT codePage) {
  std::vector<PeerCase> cases = {
      {"backslash", L"ab\\cd"},
      {"trailing backslash", L"abc\\"},
      {"hex escape", L"\\x41"},
      {"double quote", L"ab\"cd"},
  };
  if (codePage == 1252) cases.push_back({"Polish letters", L"\u0142\u00f3d\u017a"});
  if (codePage == 1251) cases.push_back({"e acute", L"caf\u00e9"});
  return cases;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) {
    std::fputs("usage: KeyFilePeerWriter.exe FOLDER\n", stderr);
    return 2;
  }
  const std::wstring out = argv[1];
  const UINT codePage = GetACP();
  try {
    testsupport::writeBytes(out + L"\\codepage", std::to_string(codePage));
    int number = 0;
    auto caseFolder = [&](const PeerCase& c, const char* verdict) {
      wchar_t digits[8];
      std::swprintf(digits, 8, L"%02d", number++);
      const std::wstring folder = out + L'\\' + digits;
      for (const wchar_t* below :
           {L"", L"\\Firefox", L"\\Firefox\\chrome", L"\\Firefox\\chrome\\content"}) {
        CreateDirectoryW((folder + below).c_str(), nullptr);
      }
      testsupport::writeBytes(folder + L"\\name", c.name);
      testsupport::writeBytes(folder + L"\\typed", testsupport::utf8Of(c.key));
      testsupport::writeBytes(folder + L"\\verdict", verdict);
      return folder;
    };
    for (const PeerCase& c : savedCases(codePage)) {
      storage::saveNewAccessKey(storage::systemFileOperations(), caseFolder(c, "saved"), c.key,
                                storage::Rights::User);
    }
    for (const PeerCase& c : refusedCases(codePage)) {
      const std::wstring folder = caseFolder(c, "refused");
      if (storage::unsavableCharacters(c.key, storage::systemCodePage()).empty()) {
        std::fprintf(stderr, "the writer takes the key of \"%s\"\n", c.name);
        return 1;
      }
      testsupport::writeBytes(storage::keyFilePath(folder), storage::keyFileLine(lossyAnsi(c.key)));
    }
  } catch (const storage::StorageError& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
  return 0;
}
