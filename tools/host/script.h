// The host's script language: one statement per line.
//
//   # a comment
//   set NAME "text"              defines ${NAME} for later lines
//   keep NAME                    defines ${NAME} as the last call's first buffer text
//   echo text                    prints the text (after ${...} expansion)
//   show "path"                  prints a text file, one line at a time
//   mkdir "path"                 creates a directory and its parents
//   delete "path"                deletes a file when it exists
//   regkey "subkey"              creates a key below HKEY_LOCAL_MACHINE
//   regdelete "subkey"           deletes a key below HKLM with its subkeys
//   sleep 1500                   waits that many milliseconds
//   expect 1                     stops the script unless the last call returned 1
//   silent 1                     SetSilentMode(1): boxes go to standard error and the log
//   log "path"                   SetLogFile("path"): the installer log (null closes it)
//   waitlimit 5000               SetWaitLimit(5000): bounds service and network waits
//   dialog "NAME" 500 ["product"]  shows the DLL's dialog template NAME for 500 ms
//                                (the product name fills each "%p"); the result is
//                                the end code, -1 when the template cannot be shown
//   Export arg arg ...           calls an export bound by name
//   #14 arg arg ...              calls the export at ordinal 14
//
// Arguments: "text" (a doubled "" stands for one quote, ${NAME} expands to a
// variable of the script or of the environment), a decimal integer, null,
// and buf or buf[N]: an output buffer of N bytes (4096 by default) whose
// text is printed after the result. A wide twin (ExportW, at its export's
// ordinal plus 100) gets each text as UTF-16, read from the script as UTF-8,
// and buffers of N wchar_t, whose texts are printed as UTF-8.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace wexhost {

struct Argument {
    enum Kind { Text, Integer, Null, Buffer } kind = Null;
    std::string text;    // Text: the expanded text
    long long number = 0;  // Integer: the value; Buffer: its size
};

struct Statement {
    std::string verb;  // an export name, "#N", or one of the directives
    std::vector<Argument> arguments;
    std::string rest;  // echo: the text after the verb
};

class Variables {
public:
    void Set(const std::string& name, const std::string& value) { values_[name] = value; }
    // Expands ${NAME}; unknown names come from the environment, else stay empty.
    std::string Expand(const std::string& text) const;

private:
    std::map<std::string, std::string> values_;
};

// Parses one line. Returns false with an error text for a malformed line;
// blank lines and comments give an empty verb.
bool ParseLine(const std::string& line, const Variables& vars, Statement& out, std::string& error);

}  // namespace wexhost
