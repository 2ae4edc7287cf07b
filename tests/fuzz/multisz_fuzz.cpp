// The multi-string layout against a reference split of the list: the bytes
// laid out, the list as the tokenizer leaves it, and nothing written outside
// the output's outSize bytes (which end where their allocation ends) nor
// past the layout within them.
//
// Input: a control byte (twice it is outSize: 0 to 510), then the list.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/fuzzinput.h"
#include "registry/multisz.h"

namespace {

using namespace wex::registry;
using namespace wexfuzz;

struct Token {
    std::size_t start, length;
};

std::vector<Token> Tokens(std::string_view list) {
    std::vector<Token> tokens;
    for (std::size_t i = 0; i < list.size();) {
        if (list[i] == '+') {
            ++i;
            continue;
        }
        const std::size_t start = i;
        while (i < list.size() && list[i] != '+') ++i;
        tokens.push_back({start, i - start});
    }
    return tokens;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput input(data, size);
    const std::size_t outSize = 2 * std::size_t(input.Control());
    const std::string_view list = input.Field();

    const std::vector<Token> tokens = Tokens(list);
    const std::size_t stored = std::min<std::size_t>(tokens.size(), 10);
    std::string layout;
    for (std::size_t i = 0; i < stored; ++i) {
        layout += list.substr(tokens[i].start, tokens[i].length);
        layout += '\0';
    }
    const std::size_t pieceBytes = layout.size();
    layout += std::string(6, '\0');
    const bool fits = layout.size() <= outSize;

    constexpr unsigned char kUntouched = 0xCC;
    std::unique_ptr<unsigned char[]> out(new unsigned char[outSize]);
    std::memset(out.get(), kUntouched, outSize);
    std::unique_ptr<char[]> text = CopyAtAllocationEnd(list);
    MultiSz result;
    result.dataSize = 777;
    WEX_FUZZ_CHECK(BuildMultiSz(text.get(), out.get(), outSize, result) == fits);

    if (!fits) {
        WEX_FUZZ_CHECK(std::string_view(text.get(), list.size() + 1) == std::string(list) + '\0');
        for (std::size_t i = 0; i < outSize; ++i) WEX_FUZZ_CHECK(out[i] == kUntouched);
        WEX_FUZZ_CHECK(result.dataSize == 0 && result.pieces == 0 && !result.reachedLimit);
        return 0;
    }
    WEX_FUZZ_CHECK(std::memcmp(out.get(), layout.data(), layout.size()) == 0);
    for (std::size_t i = layout.size(); i < outSize; ++i) WEX_FUZZ_CHECK(out[i] == kUntouched);
    WEX_FUZZ_CHECK(result.dataSize == pieceBytes + 2);
    WEX_FUZZ_CHECK(result.pieces == static_cast<int>(stored));
    WEX_FUZZ_CHECK(result.reachedLimit == (stored == 10));

    // The tokenizer ends each piece it hands out with a zero in place of the
    // separator after it; it hands out one piece more than the ten it keeps.
    std::string split(list);
    for (std::size_t i = 0; i < std::min<std::size_t>(tokens.size(), 11); ++i) {
        const std::size_t after = tokens[i].start + tokens[i].length;
        if (after < split.size()) split[after] = '\0';
    }
    WEX_FUZZ_CHECK(std::string_view(text.get(), list.size()) == split);
    return 0;
}
