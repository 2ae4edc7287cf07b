// Rewrite through a temporary file. The new content of a text file is written
// to a fresh temporary file named by the C runtime's tmpnam and, in the same
// pass, to a sibling of the target in the target's own folder, which is
// flushed to disk and then renamed over the target in one step. So at every
// moment the target holds exactly its old content or exactly its complete new
// content, also when the process is ended or the power fails mid-way.
//
// Nothing piles up after an ended rewrite: the temporary file is removed by
// the system when its last handle closes, and the sibling has one fixed name
// per target (its name with ".wexlib-new" added), which the next rewrite of
// that target replaces. The sibling is named in the extended-length form, so
// that it also works beside a target whose own name is close to MAX_PATH.
#pragma once

#include "itemfile/itemtext.h"

namespace wex::itemfile {

enum class RewriteOutcome {
    Replaced,          // the new content is in place
    NoTempFile,        // no temporary file could be created; target untouched
    TargetUnreadable,  // the target could not be opened for reading
    Refused,           // the edit refused a piece; target untouched
    NotReplaced,       // the new content could not be completed or put in place
};

RewriteOutcome RewriteThroughTempFile(const char* target, PieceEdit& edit);

// Writes the standard error line that belongs to a failed outcome.
void ReportRewrite(RewriteOutcome outcome, const char* target);

}  // namespace wex::itemfile
