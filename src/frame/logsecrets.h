// What the installer log keeps to itself, for the whole process: the values of
// items with hidden names, and every text that has passed through the library
// as such a value (or was handed to HideInLog), which the log masks as "***"
// wherever it turns up later. Texts come in the call's encoding
// (frame/encoding.h) and are compared in the log's, UTF-8, so that a secret
// given to an A export is masked where a W export shows it, and the other way
// round. The texts are kept whether or not a log is open: a log opened later
// masks them too.
//
// Masking changes the log only: results, files, boxes and the standard
// streams never see it.
#pragma once

#include <string>
#include <string_view>

#include "frame/logmask.h"

namespace wex {

// True when the log hides the values of the item called name: a default
// hidden name, or one that matches a pattern of WEXLIB_LOG_HIDE (read from
// the C runtime's wide environment on first use). Letter case is ignored.
bool LogHidesItem(std::string_view name);

// From now on the log masks text, and its form encodings, in every line.
void MaskInLog(std::string_view text);
// The same for an item's value, unless it is the "{" that opens a brace
// block: its key text comes on the lines that follow.
void MaskItemValueInLog(std::string_view value);
// A key block: as a whole and each of its key lines.
void MaskKeyBlockInLog(std::string_view block);

// The lines of an item file that pass through the library without a log
// line of their own (appended to another file): the values of their hidden
// items, and the key blocks of hidden names, are masked from then on.
class HiddenItemsPassing {
public:
    HiddenItemsPassing() = default;
    ~HiddenItemsPassing();
    HiddenItemsPassing(const HiddenItemsPassing&) = delete;
    HiddenItemsPassing& operator=(const HiddenItemsPassing&) = delete;

    // One line (or piece of a line) as it was read.
    void Line(std::string_view line) noexcept;

private:
    HiddenItemScanner scanner_;
};

// True when text holds a text that the log masks.
bool HoldsMaskedText(std::string_view text);

// A text of the call as the log shows it: UTF-8, each masked text as "***".
// Not yet escaped.
std::string LogForm(std::string_view text);

// A whole log line (UTF-8) whose texts were escaped already, with every
// masked text in it as "***".
std::string MaskedLogLine(std::string_view line);

}  // namespace wex
