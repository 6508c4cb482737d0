// The error that an action of the key file's storage fails with, natively and on Windows alike.
#pragma once

#include <stdexcept>

#include "storage/StorageError.h"

namespace testsupport {

// The StorageError that `action` fails with; an action that succeeds fails the test.
template <typename Action>
storage::StorageError failureOf(Action action) {
  try {
    action();
  } catch (const storage::StorageError& error) {
    return error;
  }
  throw std::runtime_error("it did not fail");
}

}  // namespace testsupport
