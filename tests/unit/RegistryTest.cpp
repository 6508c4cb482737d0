#include <gtest/gtest.h>

#include <map>

#include "storage/Registry.h"

namespace {

using storage::RegistryRoot;

constexpr long kFileNotFound = 2;
constexpr long kInvalidHandle = 6;
constexpr long kMoreData = 234;
constexpr std::uint32_t kRegExpandSz = 2;

// RegOpenKeyA and RegQueryValueExA over values held in memory.
class FakeRegistry : public storage::RegistryApi {
 public:
  struct Value {
    std::uint32_t type;
    std::string data;
  };
  std::map<std::string, std::map<std::string, Value>> keys;
  int openKeys = 0;
  // Runs between the size query and the data query, as another program might.
  std::function<void(Value&)> betweenQueries;
  // Bytes the data query writes; all of the value when unset.
  std::optional<size_t> bytesWritten;

  long openKey(RegistryRoot, const std::string& subKey, Key* key) override {
    auto found = keys.find(subKey);
    if (found == keys.end()) return kFileNotFound;
    ++openKeys;
    *key = reinterpret_cast<Key>(&found->second);
    return 0;
  }
  long queryValue(Key key, const std::string& name, std::uint32_t* type, char* data,
                  std::uint32_t* size) override {
    if (key == 0) return kInvalidHandle;
    auto& values = *reinterpret_cast<std::map<std::string, Value>*>(key);
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
    value.data.copy(data, count);
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
    registry.keys["Software\\Quorvantis"][""] = {type, std::move(data)};
  }

  FakeRegistry registry;
};

TEST_F(RegistryLookup, ReadsTheDefaultStringWithoutItsNul) {
  setDefault(storage::kRegSz, std::string("C:\\Program Files\\Quorvantis\0", 29));
  EXPECT_EQ(lookUp(), L"C:\\Program Files\\Quorvantis");
  EXPECT_EQ(registry.openKeys, 0) << "the key is closed";
}

TEST_F(RegistryLookup, GivesNothingForAMissingKeyValueOrAnotherType) {
  EXPECT_EQ(lookUp(), std::nullopt) << "no key";
  registry.keys["Software\\Quorvantis"]["named"] = {storage::kRegSz, std::string("x\0", 2)};
  EXPECT_EQ(lookUp(), std::nullopt) << "no default value";
  setDefault(kRegExpandSz, std::string("%ProgramFiles%\\Q\0", 18));
  EXPECT_EQ(lookUp(), std::nullopt) << "REG_EXPAND_SZ";
  EXPECT_EQ(registry.openKeys, 0);
}

TEST_F(RegistryLookup, AnEmptyStringIsAZeroLengthText) {
  setDefault(storage::kRegSz, std::string("\0", 1));
  EXPECT_EQ(lookUp(), L"");
  setDefault(storage::kRegSz, "");
  EXPECT_EQ(lookUp(), L"");
}

TEST_F(RegistryLookup, CutsAtTheFirstNulOrTakesTheWholeBuffer) {
  setDefault(storage::kRegSz, std::string("C:\\A\0C:\\B\0", 10));
  EXPECT_EQ(lookUp(), L"C:\\A") << "embedded NUL";
  setDefault(storage::kRegSz, "C:\\NoTerminator");
  EXPECT_EQ(lookUp(), L"C:\\NoTerminator");
  setDefault(storage::kRegSz, std::string("C:\\Q\\\0", 6));
  EXPECT_EQ(lookUp(), L"C:\\Q\\") << "a trailing backslash stays";
}

TEST_F(RegistryLookup, BlanksStandWhereTheDataQueryWroteLess) {
  setDefault(storage::kRegSz, "C:\\Q");
  registry.bytesWritten = 2;
  EXPECT_EQ(lookUp(), L"C:  ");
}

TEST_F(RegistryLookup, AValueThatGrewBetweenTheQueriesGivesNothing) {
  setDefault(storage::kRegSz, std::string("C:\\Q\0", 5));
  registry.betweenQueries = [](FakeRegistry::Value& v) {
    v.data = std::string("C:\\Longer\0", 10);
  };
  EXPECT_EQ(lookUp(), std::nullopt);
  EXPECT_EQ(registry.openKeys, 0);
}

TEST_F(RegistryLookup, ValuesLongerThanThirtyTwoThousandCharactersReadWhole) {
  const std::string path(40000, 'p');
  setDefault(storage::kRegSz, path + '\0');
  EXPECT_EQ(lookUp(), std::wstring(path.begin(), path.end()));
}

}  // namespace
