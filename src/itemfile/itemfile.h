// Item file queries and edits. Each function opens its file, does the whole
// job and closes it again; nothing is kept between calls. They report on the
// standard error channel themselves and return the export's result.
#pragma once

#include <string_view>

namespace wex::itemfile {

// Queries
int FindItem(const char* path, std::string_view name, const char* filter);
int GetItem(const char* path, std::string_view name, char* value);
int GetAllNames(const char* path, char* names);
int GetUserName(const char* passwdPath, char* user);

// Edits
int SetItem(const char* path, std::string_view name, std::string_view value);
int AddItem(const char* path, const char* name, const char* value);
int DeleteItems(const char* path, std::string_view name, const char* filter);
int SubstituteText(const char* path, std::string_view search, std::string_view replacement);
int AppendFileTo(const char* sourcePath, const char* destinationPath);

}  // namespace wex::itemfile
