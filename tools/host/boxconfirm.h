// For unattended runs: confirms every message box of the host process with
// OK as soon as it shows, after printing it as "  [box CAPTION] text".
#pragma once

#include "boxwatcher.h"

namespace wexhost {

class BoxConfirmer {
public:
    BoxConfirmer();

private:
    wexbox::BoxWatcher watcher_;
};

}  // namespace wexhost
