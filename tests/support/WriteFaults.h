// The writer's steps made to fail as a full disk or a locked-down folder would, with the
// platform's own codes, natively and on Windows alike.
#pragma once

#include <map>
#include <vector>

#include "storage/FileAccess.h"

namespace testing_support {

inline std::map<storage::WriteStep, unsigned long> failingSteps;
inline std::vector<storage::WriteStep> stepsTaken;

inline unsigned long failChosenSteps(storage::WriteStep step) {
  stepsTaken.push_back(step);
  const auto failing = failingSteps.find(step);
  return failing == failingSteps.end() ? 0 : failing->second;
}

// From now on each of `steps` fails with its code, and the steps taken are recorded afresh.
inline void failSteps(std::map<storage::WriteStep, unsigned long> steps) {
  failingSteps = std::move(steps);
  stepsTaken.clear();
  storage::setWriteFaultHook(failChosenSteps);
}

}  // namespace testing_support
