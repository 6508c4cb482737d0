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
  void setDefault(std::uint32_t type, std::u16string_view text) {
    setDefaultBytes(type, bytesOf(text));
  }
  void setDefaultBytes(std::uint32_t type, std::string data) {
    registry.keys[L"Software\\Quorvantis"][L""] = {type, std::move(data)};
  }

  FakeRegistry registry;
};

TEST_F(RegistryLookup, ReadsTheDefaultStringWithoutItsNul) {
  setDefault(storage::kRegSz, u"C:\\Program Files\\Quorvantis\0"sv);
  EXPECT_EQ(lookUp(), L"C:\\Program Files\\Quorvantis");
  EXPECT_EQ(registry.openKeys, 0) << "the key is closed";
}

TEST_F(RegistryLookup, GivesNothingForAMissingKeyValueOrAnotherType) {
  EXPECT_EQ(lookUp(), std::nullopt) << "no key";
  registry.keys[L"Software\\Quorvantis"][L"named"] = {storage::kRegSz, bytesOf(u"x\0"sv)};
  EXPECT_EQ(lookUp(), std::nullopt) << "no default value";
  setDefault(kRegExpandSz, u"%ProgramFiles%\\Q\0"sv);
  EXPECT_EQ(lookUp(), std::nullopt) << "REG_EXPAND_SZ";
  EXPECT_EQ(registry.openKeys, 0);
}

TEST_F(RegistryLookup, AnEmptyStringIsAZeroLengthText) {
  setDefault(storage::kRegSz, u"\0"sv);
  EXPECT_EQ(lookUp(), L"");
  setDefault(storage::kRegSz, u"");
  EXPECT_EQ(lookUp(), L"");
}

TEST_F(RegistryLookup, CutsAtTheFirstNulOrTakesTheWholeBuffer) {
  setDefault(storage::kRegSz, u"C:\\A\0C:\\B\0"sv);
  EXPECT_EQ(lookUp(), L"C:\\A") << "embedded NUL";
  setDefault(storage::kRegSz, u"C:\\NoTerminator");
  EXPECT_EQ(lookUp(), L"C:\\NoTerminator");
  setDefault(storage::kRegSz, u"C:\\Q\\\0"sv);
  EXPECT_EQ(lookUp(), L"C:\\Q\\") << "a trailing backslash stays";
  setDefault(storage::kRegSz, u"C:\\qv\\\u0141\u00f3d\u017a \u6771\u4eac\0"sv);
  EXPECT_EQ(lookUp(), L"C:\\qv\\\u0141\u00f3d\u017a \u6771\u4eac") << "any script";
}

TEST_F(RegistryLookup, AnOddLastByteIsNoCharacter) {
  setDefaultBytes(storage::kRegSz, bytesOf(u"C:\\Q") + 'R');
  EXPECT_EQ(lookUp(), L"C:\\Q");
  setDefaultBytes(storage::kRegSz, "C");
  EXPECT_EQ(lookUp(), L"");
}

TEST_F(RegistryLookup, BlanksStandWhereTheDataQueryWroteLess) {
  setDefault(storage::kRegSz, u"C:\\Q");
  registry.bytesWritten = 4;
  EXPECT_EQ(lookUp(), L"C:  ");
}

TEST_F(RegistryLookup, AValueThatGrewBetweenTheQueriesGivesNothing) {
  setDefault(storage::kRegSz, u"C:\\Q\0"sv);
  registry.betweenQueries = [](FakeRegistry::Value& v) { v.data = bytesOf(u"C:\\Longer\0"sv); };
  EXPECT_EQ(lookUp(), std::nullopt);
  EXPECT_EQ(registry.openKeys, 0);
}

TEST_F(RegistryLookup, ValuesLongerThanThirtyTwoThousandCharactersReadWhole) {
  const std::u16string path(40000, u'p');
  setDefault(storage::kRegSz, path + u'\0');
  EXPECT_EQ(lookUp(), std::wstring(path.begin(), path.end()));
}

}  // namespace
