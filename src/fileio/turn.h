// The turn to edit one file. Every edit of a file, from any process or
// thread, holds the file's turn while it reads the latest content and puts
// its change in place, so that no edit builds on content that another one is
// about to replace.
//
// The turn is a file beside the target, named after it with ".wexlib-turn"
// added, open without sharing and deleted when its handle closes: whoever
// holds it open has the turn; everyone else finds it in use (a sharing
// violation, or an access violation while its deletion is pending) and tries
// again. A holder that is ended releases the turn with its handles, and a
// turn file that a power loss left on disk is simply taken by the next edit.
// Being a file in the target's folder, it works for every process of every
// user and session that can edit the file, also across a network share.
//
// A file that anyone has open cannot be replaced, so a rewrite about to put
// its new content in place says so: it writes one byte into its turn file.
// Readers of the library wait for that moment to pass before they open the
// target (WaitWhileReplacing), so that their opens do not keep the replace
// out; they go on reading the old content until then.
#pragma once

#include <windows.h>

#include <string>

#include "fileio/waits.h"
#include "frame/winhandles.h"

namespace wex::fileio {

class EditTurn {
public:
    enum class Outcome {
        Taken,
        Busy,       // still in use when the wait limit ran out
        NoneHere,   // the folder takes no new file: edits there take no turns
    };

    EditTurn() = default;
    EditTurn(const EditTurn&) = delete;
    EditTurn& operator=(const EditTurn&) = delete;

    // Waits for the turn of the file named path (full, extended-length; the
    // file a link leads to, not the link), pausing as wait says, until it
    // ends.
    Outcome Take(const std::wstring& path, Backoff& wait);

    // Says that the new content is about to take the target's place.
    void AnnounceReplace();

    // Gives the turn to the next editor.
    void Release() { turn_.Reset(); }

private:
    UniqueFileHandle turn_;
};

// The name of the turn file of a target.
std::wstring TurnFileOf(const std::wstring& path);

// Waits, at most kReplaceYieldMs, while a rewrite of the file at path is
// putting its new content in place. A turn file that says so but that no
// one holds (left by a power loss) is removed.
void WaitWhileReplacing(const std::wstring& path);

// A replace comes through within milliseconds once readers step aside: a
// reader that has waited this long goes ahead.
constexpr DWORD kReplaceYieldMs = 2000;

}  // namespace wex::fileio
