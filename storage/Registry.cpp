#include "storage/Registry.h"

#include "storage/AnsiText.h"

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

}  // namespace

std::wstring registryBufferText(std::string_view buffer) {
  // NUL is never part of a multi-byte character, so cutting the bytes equals cutting the text.
  return fromAnsi(buffer.substr(0, buffer.find('\0')));
}

std::optional<std::wstring> readRegistryString(RegistryApi& registry, RegistryRoot root,
                                               std::wstring_view subKey,
                                               std::wstring_view valueName) {
  OpenedKey opened(registry);
  // A failed open leaves the key at 0, so the queries below fail and decide for it.
  registry.openKey(root, toAnsi(subKey), &opened.key);

  const std::string name = toAnsi(valueName);
  std::uint32_t type = 0;
  std::uint32_t size = 0;
  registry.queryValue(opened.key, name, &type, nullptr, &size);
  if (type != kRegSz) return std::nullopt;

  // Blanks stand where the data query writes less than the size query promised.
  std::string buffer(size, ' ');
  std::uint32_t scratchType = 0;
  if (registry.queryValue(opened.key, name, &scratchType, buffer.data(), &size) != kRegSuccess) {
    return std::nullopt;
  }
  return registryBufferText(buffer);
}

}  // namespace storage
