// Appending to the end of a text file, under the file's turn (turn.h) like a
// rewrite, so that appends and rewrites from any number of processes and
// threads follow one another. The end is found once the turn is held, and an
// append that fails part-way takes back what it wrote (a file it created
// goes again): the file is left as it was.
#pragma once

#include <windows.h>

#include <string>

#include "fileio/textstream.h"

namespace wex::fileio {

enum class AppendOutcome {
    Appended,
    Unopenable,   // the file could not be opened for appending (a folder, no access)
    ReadOnly,     // the file is read-only; untouched
    Busy,         // another editor or program held the file past the wait limit
    Refused,      // the work refused this file; untouched
    ReadFailed,   // what the work copies could not be read to its end; untouched
    WriteFailed,  // the appended text could not all be written; untouched
};

class AppendWork {
public:
    virtual ~AppendWork() = default;
    // Whether to append to this file, open and not yet written, whose text
    // is in encoding (a new file: the ANSI code page).
    virtual bool Accepts(HANDLE, FileEncoding) { return true; }
    // Writes what is appended; false when what it copies could not be read.
    virtual bool Write(TextWriter& out) = 0;
};

// Appends what work writes to path (a full path), creating the file when it
// is missing. A symbolic link is followed.
AppendOutcome Append(const std::wstring& path, AppendWork& work);

}  // namespace wex::fileio
