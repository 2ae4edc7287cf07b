#include "boxconfirm.h"

#include <cstdio>
#include <string>

namespace wexhost {

BoxConfirmer::BoxConfirmer()
    : watcher_([](const std::string& caption, const std::string& text) {
          std::string shown = text;
          while (!shown.empty() && (shown.back() == '\n' || shown.back() == '\r')) shown.pop_back();
          // What the library wrote before the box goes out first, to keep the order.
          std::fflush(stdout);
          std::printf("  [box %s] %s\n", caption.c_str(), shown.c_str());
          std::fflush(stdout);
      }) {}

}  // namespace wexhost
