// The registry lookup against the system's registry, with values stored below a key of
// HKEY_CURRENT_USER that only these tests use. ctest runs it in code pages 1252 and 1251, which
// the text read must not depend on.
#include <gtest/gtest.h>
#include <windows.h>

#include <optional>
#include <string>
#include <string_view>

#include "storage/Registry.h"
#include "storage/RegistryWin32.h"
#include "tests/support/ScopedWin32.h"

namespace {

constexpr char kTestKey[] = "Software\\UpdateAccessKeyTests";

class SystemRegistry : public ::testing::Test {
 protected:
  void SetUp() override { RegDeleteTreeA(HKEY_CURRENT_USER, kTestKey); }
  void TearDown() override { RegDeleteTreeA(HKEY_CURRENT_USER, kTestKey); }

  static std::string subKey(std::string_view name) {
    return std::string(kTestKey) + '\\' + std::string(name);
  }

  // Makes the key `name` below the test key; its default value gets `data` when `type` is given,
  // as UTF-16 bytes.
  static void store(std::string_view name, std::optional<DWORD> type, std::wstring_view data = {}) {
    HKEY created = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, subKey(name).c_str(), 0, nullptr, 0, KEY_WRITE,
                              nullptr, &created, nullptr),
              ERROR_SUCCESS);
    win32::ScopedKey key(created);
    if (type) {
      const DWORD bytes = static_cast<DWORD>(data.size() * sizeof(wchar_t));
      ASSERT_EQ(RegSetValueExW(key.get(), nullptr, 0, *type,
                               reinterpret_cast<const BYTE*>(data.data()), bytes),
                ERROR_SUCCESS);
    }
  }

  std::optional<std::wstring> lookUp(std::string_view name) {
    const std::string key = subKey(name);
    return storage::readRegistryString(registry, storage::RegistryRoot::CurrentUser,
                                       std::wstring(key.begin(), key.end()), L"");
  }

  storage::Win32Registry registry;
};

// What Windows stores and gives back; where the text ends is the portable lookup's, tested
// natively.
TEST_F(SystemRegistry, ReadsOnlyADefaultStringInAnyCodePage) {
  using namespace std::string_view_literals;
  const std::wstring large(64 * 1024, L'k');
  struct Case {
    const char* name;
    DWORD type;
    std::wstring_view data;
    std::optional<std::wstring> expected;
  };
  const Case cases[] = {
      {"path", REG_SZ, L"C:\\Program Files\\Quorvantis\0"sv, L"C:\\Program Files\\Quorvantis"},
      {"no terminator", REG_SZ, L"C:\\Program Files\\Quorvantis"sv,
       L"C:\\Program Files\\Quorvantis"},
      {"ANSI text", REG_SZ, L"C:\\Caf\u00e9\0"sv, L"C:\\Caf\u00e9"},
      {"outside both code pages", REG_SZ, L"C:\\qv\\\u0141\u00f3d\u017a \u6771\u4eac\0"sv,
       L"C:\\qv\\\u0141\u00f3d\u017a \u6771\u4eac"},
      {"no bytes", REG_SZ, L""sv, L""},
      {"64 KB", REG_SZ, std::wstring_view(large.c_str(), large.size() + 1), large},
      {"REG_EXPAND_SZ", REG_EXPAND_SZ, L"%ProgramFiles%\\Quorvantis\0"sv, std::nullopt},
      {"REG_DWORD", REG_DWORD, L"\x01\0"sv, std::nullopt},
      {"REG_BINARY", REG_BINARY, L"C:\\Q\0"sv, std::nullopt},
      {"REG_MULTI_SZ", REG_MULTI_SZ, L"C:\\Q\0C:\\R\0\0"sv, std::nullopt},
      {"REG_NONE", REG_NONE, L"C:\\Q\0"sv, std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    store(c.name, c.type, c.data);
    EXPECT_EQ(lookUp(c.name), c.expected);
  }
}

TEST_F(SystemRegistry, GivesNothingWithoutTheKeyOrItsDefaultValue) {
  EXPECT_EQ(lookUp("missing"), std::nullopt);

  store("named value only", std::nullopt);
  HKEY opened = nullptr;
  ASSERT_EQ(
      RegOpenKeyExA(HKEY_CURRENT_USER, subKey("named value only").c_str(), 0, KEY_WRITE, &opened),
      ERROR_SUCCESS);
  win32::ScopedKey key(opened);
  RegSetValueExA(key.get(), "InstallDir", 0, REG_SZ, reinterpret_cast<const BYTE*>("C:\\Q"), 5);
  EXPECT_EQ(lookUp("named value only"), std::nullopt);
}

// The process's handle table hands out the lowest free slot again, so a key the lookup left open
// would keep the slot a key opened after it gets otherwise.
TEST_F(SystemRegistry, ClosesTheKeyItOpened) {
  store("handles", REG_SZ, std::wstring_view(L"C:\\Q", 5));
  auto freeSlot = [] {
    HKEY key = nullptr;
    RegOpenKeyExA(HKEY_CURRENT_USER, "Software", 0, KEY_READ, &key);
    RegCloseKey(key);
    return key;
  };
  ASSERT_EQ(lookUp("handles"), L"C:\\Q");  // opens HKEY_CURRENT_USER itself once
  const HKEY before = freeSlot();
  for (int i = 0; i < 10; ++i) lookUp("handles");
  EXPECT_EQ(freeSlot(), before);
}

}  // namespace
