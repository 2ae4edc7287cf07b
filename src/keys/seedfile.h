// The seed file that MakeKeys hands to the generator. The seed is secret
// material, so the file is created new under a fresh name, never opened where
// something already is: a file or a link put at the name beforehand, or
// between a look and the open, cannot redirect it.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "frame/winhandles.h"

namespace wex::keys {

struct SeedFile {
    UniqueFileHandle file;  // open for writing, shared with nobody
    std::string name;       // in the call's encoding (frame/encoding.h)
};

enum class SeedOutcome {
    Created,     // seed holds the open file and its name
    DoesNotFit,  // the name that the file would get was refused by fits
    Failed,      // no name could be made, or the file could not be created
};

// Creates the seed file "seed" and a decimal number from a process-wide
// counter, in TMP when that directory exists (retried without double quotes),
// else in preferredDir when it exists, else in "\", else in the current
// directory. A name that is taken, by a file, a directory or a link, moves
// on to the next number; each name is offered to fits before the file is
// created. Only the creating user may open the file: its DACL grants that
// user reading, writing and deleting, and nobody else anything. Failed when
// the name would exceed 260 characters, when 32767 numbers in a row are
// taken, or when the file cannot be created for another reason.
SeedOutcome CreateSeedFile(const char* preferredDir, const std::function<bool(const std::string& name)>& fits,
                           SeedFile& seed);

// Writes the seed text in text mode (every newline as CR LF) and closes the
// file: an A export's bytes, a W export's text as UTF-8. False when a write
// failed.
bool WriteSeedText(SeedFile& seed, const char* seedText);

}  // namespace wex::keys
