// The system's own file operations, each platform's file giving their bodies.
#pragma once

#include "storage/FileOperations.h"

namespace storage::os {

class SystemFileOperations final : public FileOperations {
 public:
  Error inspect(const NativePath& path, FileFacts& facts) override;
  Error openForReading(const NativePath& path, File& file) override;
  Error createNew(const NativePath& path, File& file) override;
  Error openInPlace(const NativePath& path, File& file) override;
  Error read(const File& file, char* buffer, std::size_t size, std::size_t& got) override;
  Error writeAt(const File& file, std::uint64_t offset, std::string_view bytes,
                std::size_t& written) override;
  Error flush(const File& file) override;
  Error setEnd(const File& file, std::uint64_t size) override;
  Error keepState(const NativePath& path, const FileFacts& replaced) override;
  Error replace(const NativePath& replacement, const NativePath& target) override;
  Error remove(const NativePath& path) override;
  std::vector<FolderEntry> entriesIn(const NativePath& folder) override;
};

}  // namespace storage::os
