#include "storage/Registry.h"

#include <bit>

namespace storage {

namespace {

class OpenedKey {
 public:
  explicit OpenedKey(RegistryApi& registry) : registry_(registry) {}
  ~OpenedKey() {
    if (key != 0) registry_.closeKey(key);
  }
  OpenedKey(const OpenedKey&) = delete;
  OpenedKey& operator=(const OpenedKey&) = delete;

  RegistryApi::Key key = 0;

 private:
  RegistryApi& registry_;
};

// A string value's text: everything before the first NUL, or all of it when it has none.
std::wstring textBeforeNul(std::u16string_view units) {
  const std::u16string_view text = units.substr(0, units.find(u'\0'));
  return std::wstring(text.begin(), text.end());
}

}  // namespace

std::optional<std::wstring> readRegistryString(RegistryApi& registry, RegistryRoot root,
                                               std::wstring_view subKey,
                                               std::wstring_view valueName) {
  OpenedKey opened(registry);
  // A failed open leaves the key at 0, so the queries below fail and decide for it.
  registry.openKey(root, std::wstring(subKey), &opened.key);

  const std::wstring name(valueName);
  std::uint32_t type = 0;
  std::uint32_t size = 0;
  registry.queryValue(opened.key, name, &type, nullptr, &size);
  if (type != kRegSz) return std::nullopt;

  // Blanks stand where the data query writes less than the size query promised. An odd last byte
  // gets a unit of its own to be written into, but half a character is no text.
  static_assert(std::endian::native == std::endian::little,
                "the registry's UTF-16 is little-endian");
  const size_t units = size / 2;
  std::u16string buffer(units + size % 2, u' ');
  std::uint32_t scratchType = 0;
  if (registry.queryValue(opened.key, name, &scratchType,
                          reinterpret_cast<std::uint8_t*>(buffer.data()), &size) != kRegSuccess) {
    return std::nullopt;
  }
  return textBeforeNul(std::u16string_view(buffer).substr(0, units));
}

}  // namespace storage
