// The texts of a call (frame/encoding.h) as text files hold them, and back:
// an A export's bytes go to and come from every file as they are; a W
// export's texts are converted to the encoding of the file at hand
// (textstream.h: UTF-8 after the mark, else the ANSI code page), exactly or
// not at all.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

#include "fileio/textstream.h"

namespace wex::fileio {

FileText ForFiles(std::string_view callText);

// A text read from a file of the encoding, in the call's encoding.
std::string FromFile(std::string_view fileText, FileEncoding encoding);

// The encoding of an open file by its first bytes, read from its start
// (a handle with read access); the file pointer is left at the start.
FileEncoding EncodingOfOpen(HANDLE file);

// The standard error line of an edit that refused (none when it had
// nothing to change).
void ReportRefusal(EditRefusal refusal, const char* shownPath);

}  // namespace wex::fileio
