// Item file queries and edits. Each function opens its file, does the whole
// job and closes it again; nothing is kept between calls. They report on the
// standard error channel themselves, showing each path as the caller gave it;
// the exports copy what the queries return into the caller's buffers.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "fileio/paths.h"
#include "itemfile/itemtext.h"

namespace wex::itemfile {

using fileio::FilePath;

// Queries. A file that cannot be opened, or whose reading fails part-way,
// gives the failure result after its standard error line.
int FindItem(const FilePath& path, std::string_view name, std::string_view filter);
// The first item line's value: at most 398 characters.
std::optional<std::string> GetItem(const FilePath& path, std::string_view name);
// The same as the file holds it, and the file's encoding.
std::optional<std::string> GetStoredItem(const FilePath& path, std::string_view name, fileio::FileEncoding& encoding);
// Nothing after a failure (an open failure also shows its box).
std::optional<ItemNames> GetAllNames(const FilePath& path);
// The first line's text before its first ":" (at most 78 characters).
std::optional<std::string> ReadUserName(const FilePath& passwdPath);

// Edits
int SetItem(const FilePath& path, std::string_view name, std::string_view value);
int AddItem(const FilePath& path, std::string_view name, std::string_view value);
int DeleteItems(const FilePath& path, std::string_view name, std::string_view filter);
int SubstituteText(const FilePath& path, std::string_view search, std::string_view replacement);
int AppendFileTo(const FilePath& sourcePath, const FilePath& destinationPath);

}  // namespace wex::itemfile
