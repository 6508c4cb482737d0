#include "storage/Registry.h"

#include <bit>

#include "base/Unique.h"

namespace storage {

namespace {

// The key belongs to the registry it came from, which closes it.
struct OpenedKeyTraits {
  struct Handle {
    RegistryApi* registry;
    RegistryApi::Key key;
    // Whichever registry: no key, nothing to close.
    bool operator==(const Handle& other) const { return key == other.key; }
  };
  static Handle invalid() { return {nullptr, 0}; }
  static void close(Handle opened) { opened.registry->closeKey(opened.key); }
};
using OpenedKey = base::Unique<OpenedKeyTraits>;

// A string value's text: everything before the first NUL, or all of it when it has none.
std::wstring textBeforeNul(std::u16string_view units) {
  const std::u16string_view text = units.substr(0, units.find(u'\0'));
  return std::wstring(text.begin(), text.end());
}

}  // namespace

std::optional<std::wstring> readRegistryString(RegistryApi& registry, RegistryRoot root,
                                               std::wstring_view subKey,
                                               std::wstring_view valueName) {
  // A failed open leaves the key at 0, so the queries below fail and decide for it.
  RegistryApi::Key key = 0;
  registry.openKey(root, std::wstring(subKey), &key);
  const OpenedKey opened({&registry, key});

  const std::wstring name(valueName);
  std::uint32_t type = 0;
  std::uint32_t size = 0;
  registry.queryValue(key, name, &type, nullptr, &size);
  if (type != kRegSz) return std::nullopt;

  // Blanks stand where the data query writes less than the size query promised. An odd last byte
  // gets a unit of its own to be written into, but half a character is no text.
  static_assert(std::endian::native == std::endian::little,
                "the registry's UTF-16 is little-endian");
  const size_t units = size / 2;
  std::u16string buffer(units + size % 2, u' ');
  std::uint32_t scratchType = 0;
  if (registry.queryValue(key, name, &scratchType, reinterpret_cast<std::uint8_t*>(buffer.data()),
                          &size) != kRegSuccess) {
    return std::nullopt;
  }
  return textBeforeNul(std::u16string_view(buffer).substr(0, units));
}

}  // namespace storage
