// The atomic rewrite of a text file. The new content is written to a sibling
// of the target in the target's own folder, flushed to disk, given what the
// target is (keep.h) and renamed over the target in one step. So at every
// moment the target holds exactly its old content or exactly its complete
// new content, also when the process is ended or the power fails mid-way,
// and readers see one or the other.
//
// One rewrite at a time: the rewrite holds the target's turn (turn.h) from
// before it reads the target until its content is in place, so that edits
// from any number of processes and threads follow one another and none is
// lost. The target is read at once (up to 64 MiB), and the lines that cannot
// hold what the edit looks for pass unseen (ApplyEdit). A program that holds the target open without letting others write
// counts as an editor at work. Waits for either end at the wait limit when
// one is set (frame/unattended.h).
//
// The names beside a target, all its name with something added:
//   .wexlib-turn          the turn, while an edit holds it
//   .wexlib-new-N         a rewrite's sibling, N the smallest number that no
//                         other sibling has: a name of its own while the
//                         rewrite lasts. A taken number shows a leftover,
//                         and then the rewrite removes every sibling that
//                         ended rewrites left; a live writer's sibling is
//                         open and stays.
//   .wexlib-copy          the complete new content of a hard-linked target
//                         while it is written in place (below)
//
// A symbolic link is followed: the file it names is rewritten beside itself,
// and the link stays. A target with more than one hard link cannot be
// replaced without parting its names, so its new content is written into it
// in place: complete and flushed in the .wexlib-copy first, then copied over
// the file's own bytes while readers wait; an edit that ends during that
// copy leaves the .wexlib-copy, from which the next edit of the file
// finishes the write before it reads.
//
// Before any of it, the C runtime's tmpnam names a temporary file in the
// root of the current drive, which is created and held, empty, for the
// rewrite: the check that an edit always made. It receives none of the
// content and the system removes it when its handle closes.
#pragma once

#include <cstddef>
#include <string>

#include "fileio/textstream.h"

namespace wex::fileio {

enum class RewriteOutcome {
    Replaced,            // the target holds the new content
    NoTempFile,          // tmpnam's temporary file could not be created; target untouched
    TargetUnreadable,    // the target could not be opened for reading (missing, a folder)
    Unchanged,           // the edit found that it had nothing to change; target untouched
    Refused,             // the edit refused a piece; target untouched
    NotInAnsiCodePage,   // the edit's text has no exact form in the target's code page; untouched
    NotInUtf8,           // the edit's text holds a lone surrogate, and the target is UTF-8; untouched
    ReadOnly,            // the target is read-only; untouched
    Busy,                // another editor or program held the file past the wait limit
    ReadFailed,          // reading the target failed part-way; untouched
    WriteFailed,         // the new content could not be written beside it; untouched
    PermissionsNotKept,  // its permissions could not be given to the new content; untouched
    StreamsNotKept,      // nor its alternate data streams; untouched
    NotReplaced,         // the new content could not take its place; untouched
    InPlaceUnfinished,   // a hard-linked target was written in place only in part
};

// Rewrites target (a full path) through edit, in pieces of at most maxPiece
// characters.
RewriteOutcome Rewrite(const std::wstring& target, std::size_t maxPiece, PieceEdit& edit);

// The one mapping of a rewrite's outcome to the export's result and report:
// success when the target holds the new content; otherwise 0, after the
// outcome's standard error line (shownPath: the target as the caller gave
// it).
int RewriteResult(RewriteOutcome outcome, const char* shownPath, int success);

// The standard error line of a wait that reached the limit, for every edit.
void ReportBusy(const char* shownPath);

}  // namespace wex::fileio
