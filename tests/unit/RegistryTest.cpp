#include <gtest/gtest.h>

#include <map>

#include "storage/Registry.h"

namespace {

using storage::RegistryRoot;
using namespace std::string_view_literals;

constexpr long kFileNotFound = 2;
constexpr long kInvalidHandle = 6;
constexpr long kMoreData = 234;
constexpr std::uint32_t kRegExpandSz = 2;

// A value's data as the registry holds a string: UTF-16, little-endian.
std::string bytesOf(std::u16string_view text) {
  std::string bytes;
  for (char16_t unit : text) {
    bytes += static_cast<char>(unit & 0xFF);
    bytes += static_cast<char>(unit >> 8);
  }
  return bytes;
}

// RegOpenKeyW and RegQueryValueExW over values held in memory.
class FakeRegistry : public storage::RegistryApi {
 public:
  struct Value {
    std::uint32_t type;
    std::string data;
  };
  std::map<std::wstring, std::map<std::wstring, Value>> keys;
  int openKeys = 0;
  // Runs between the size query and the data query, as another program might.
  std::function<void(Value&)> betweenQueries;
  // Bytes the data query writes; all of the value when unset.
  std::optional<size_t> bytesWritten;

  long openKey(RegistryRoot, const std::wstring& subKey, Key* key) override {
    auto found = keys.find(subKey);
    if (found == keys.end()) return kFileNotFound;
    ++openKeys;
    *key = reinterpret_cast<Key>(&found->second);
    return 0;
  }
  long queryValue(Key key, const std::wstring& name, std::uint32_t* type, std::uint8_t* data,
                  std::uint32_t* size) override {
    if (key == 0) return kInvalidHandle;
    auto& values = *reinterpret_cast<std::map<std::wstring, Value>*>(key);
    auto found = values.find(name);
    if (found == values.end()) return kFileNotFound;
    Value& value = found->second;
    if (data == nullptr) {
      *type = value.type;
      *size = static_cast<std::uint32_t>(value.data.size());
      if (betweenQueries) betweenQueries(value);
      return 0;
    }
    if (*size < value.data.size()) return kMoreData;
    const size_t count = bytesWritten.value_or(value.data.size());
    value.data.copy(reinterpret_cast<char*>(data), count);
    *size = static_cast<std::uint32_t>(count);
    *type = value.type;
    return 0;
  }
  void closeKey(Key) override { --openKeys; }
};

class RegistryLookup : public ::testing::Test {
 protected:
  std::optional<std::wstring> lookUp() {
    return storage::readRegistryString(registry, RegistryRoot::CurrentUser, L"Software\\Quorvantis",
                                       L"");
  }
  void setDefault(std::uint32_t type, std::string data) {
    registry.keys[L"Software\\Quorvantis"][L""] = {type, std::move(data)};
  }

  FakeRegistry registry;
};

TEST_F(RegistryLookup, GivesNothingForAMissingKeyOrValue) {
  EXPECT_EQ(lookUp(), std::nullopt) << "no key";
  registry.keys[L"Software\\Quorvantis"][L"named"] = {storage::kRegSz, bytesOf(u"x\0"sv)};
  EXPECT_EQ(lookUp(), std::nullopt) << "no default value";
  EXPECT_EQ(registry.openKeys, 0);
}

TEST_F(RegistryLookup, ReadsTheDefaultStringUpToItsFirstNulOrWhole) {
  const std::u16string path(40000, u'p');
  const struct {
    const char* why;
    std::uint32_t type;
    std::string data;
    std::optional<std::wstring> expected;
  } cases[] = {
      {"a path and its NUL", storage::kRegSz, bytesOf(u"C:\\Program Files\\Quorvantis\0"sv),
       L"C:\\Program Files\\Quorvantis"},
      {"REG_EXPAND_SZ", kRegExpandSz, bytesOf(u"%ProgramFiles%\\Q\0"sv), std::nullopt},
      {"a NUL alone", storage::kRegSz, bytesOf(u"\0"sv), L""},
      {"no bytes", storage::kRegSz, "", L""},
      {"embedded NUL", storage::kRegSz, bytesOf(u"C:\\A\0C:\\B\0"sv), L"C:\\A"},
      {"no terminator", storage::kRegSz, bytesOf(u"C:\\NoTerminator"), L"C:\\NoTerminator"},
      {"a trailing backslash stays", storage::kRegSz, bytesOf(u"C:\\Q\\\0"sv), L"C:\\Q\\"},
      {"any script", storage::kRegSz, bytesOf(u"C:\\qv\\\u0141\u00f3d\u017a \u6771\u4eac\0"sv),
       L"C:\\qv\\\u0141\u00f3d\u017a \u6771\u4eac"},
      {"an odd last byte is no character", storage::kRegSz, bytesOf(u"C:\\Q") + 'R', L"C:\\Q"},
      {"one byte", storage::kRegSz, "C", L""},
      {"over 32,767 characters", storage::kRegSz, bytesOf(path + u'\0'),
       std::wstring(path.begin(), path.end())},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.why);
    setDefault(c.type, c.data);
    EXPECT_EQ(lookUp(), c.expected);
    EXPECT_EQ(registry.openKeys, 0) << "the key is closed";
  }
}

TEST_F(RegistryLookup, BlanksStandWhereTheDataQueryWroteLess) {
  setDefault(storage::kRegSz, bytesOf(u"C:\\Q"));
  registry.bytesWritten = 4;
  EXPECT_EQ(lookUp(), L"C:  ");
}

TEST_F(RegistryLookup, AValueThatGrewBetweenTheQueriesGivesNothing) {
  setDefault(storage::kRegSz, bytesOf(u"C:\\Q\0"sv));
  registry.betweenQueries = [](FakeRegistry::Value& v) { v.data = bytesOf(u"C:\\Longer\0"sv); };
  EXPECT_EQ(lookUp(), std::nullopt);
  EXPECT_EQ(registry.openKeys, 0);
}

}  // namespace
