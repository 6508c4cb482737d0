// Saves one key with the real writer, and prints the key then read back, for tests that set the
// scene on the Unix side of Wine:
//   KeyFileSaver.exe INSTALL-FOLDER KEY
// Exits with 0 once saved and read, or prints the error and exits with 1.
#include <cstdio>
#include <string>

#include "storage/KeyFile.h"
#include "storage/StorageError.h"

int wmain(int argc, wchar_t** argv) {
  if (argc != 3) {
    std::fputs("usage: KeyFileSaver.exe INSTALL-FOLDER KEY\n", stderr);
    return 2;
  }
  try {
    storage::saveNewAccessKey(storage::systemFileOperations(), argv[1], argv[2]);
    std::printf("%s\n", storage::toUtf8(
                            storage::readCurrentAccessKey(storage::systemFileOperations(), argv[1]))
                            .c_str());
  } catch (const storage::StorageError& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
  return 0;
}
