// Reads a text-mode stream the way every item file reader does: pieces of at
// most size - 1 characters, each ending after its newline when it has one.
#pragma once

#include <cstdio>
#include <cstring>
#include <string_view>

namespace wex::itemfile {

template <std::size_t Size>
class LineReader {
public:
    explicit LineReader(std::FILE* file) noexcept : file_(file) {}

    // The next piece, or false at the end of the stream. The view stays valid
    // until the next call.
    bool Next(std::string_view& piece) noexcept {
        if (!std::fgets(buffer_, static_cast<int>(Size), file_)) return false;
        piece = std::string_view(buffer_, std::strlen(buffer_));
        return true;
    }

private:
    std::FILE* file_;
    char buffer_[Size];
};

}  // namespace wex::itemfile
