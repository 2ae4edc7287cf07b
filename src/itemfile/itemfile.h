// Item file queries and edits. Each function opens its file, does the whole
// job and closes it again; nothing is kept between calls. They report on the
// standard error channel themselves; the exports copy what the queries return
// into the caller's buffers.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "itemfile/itemtext.h"

namespace wex::itemfile {

// Queries
int FindItem(const char* path, std::string_view name, std::string_view filter);
// The first item line's value: at most 398 characters.
std::optional<std::string> GetItem(const char* path, std::string_view name);
// Nothing when the file cannot be opened (after the line and the box).
std::optional<ItemNames> GetAllNames(const char* path);
// The first line's text before its first ":" (at most 78 characters).
std::optional<std::string> ReadUserName(const char* passwdPath);

// Edits
int SetItem(const char* path, std::string_view name, std::string_view value);
int AddItem(const char* path, std::string_view name, std::string_view value);
int DeleteItems(const char* path, std::string_view name, std::string_view filter);
int SubstituteText(const char* path, std::string_view search, std::string_view replacement);
int AppendFileTo(const char* sourcePath, const char* destinationPath);

}  // namespace wex::itemfile
