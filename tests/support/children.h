// The processes that a test started through the library run on after the
// export returns. A test that starts one ends it itself: a process left
// behind would keep CTest waiting.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "programs.h"

namespace wextest {

// Ids of the running processes with this exe name whose parent is this process.
std::vector<DWORD> ChildrenNamed(const std::string& exeName);

// Ends them and waits until they are gone.
void EndChildrenNamed(const std::string& exeName);

}  // namespace wextest
