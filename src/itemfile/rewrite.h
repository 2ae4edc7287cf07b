// Rewrite through a temporary file: the new content of a text file goes to a
// fresh temporary file named by the C runtime's tmpnam, which is then copied
// over the target as a whole and deleted. The target is never written in
// place, so it holds either its old or its complete new content.
#pragma once

#include <cstdio>
#include <functional>
#include <string_view>

namespace wex::itemfile {

enum class RewriteOutcome {
    Replaced,          // the new content is in place
    NoTempFile,        // no temporary file could be created; target untouched
    TargetUnreadable,  // the target could not be opened for reading
    NotReplaced,       // writing the new content or copying it over failed
};

struct LineTransform {
    // Called with each line piece of the target (at most 399 characters).
    std::function<void(std::string_view piece, std::FILE* out)> piece;
    // Called once after the last piece; may be empty.
    std::function<void(std::FILE* out)> end;
};

RewriteOutcome RewriteThroughTempFile(const char* target, const LineTransform& transform);

// Writes the standard error line that belongs to a failed outcome.
void ReportRewrite(RewriteOutcome outcome, const char* target);

// Writes text byte for byte (no character is special).
inline void WriteText(std::FILE* out, std::string_view text) {
    std::fwrite(text.data(), 1, text.size(), out);
}

}  // namespace wex::itemfile
