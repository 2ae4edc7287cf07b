// makekeys: stands in for the real key-pair generator so that the key road
// (MakeKeys, then SubstituteKeys) can run end to end. It reads the seed file
// and writes a key file in the generator's format: a "$MerchantPUK" block and
// a "$MerchantPRK" block, each ended by "EOF", whose lines are base64 text
// derived from the seed alone. The text is NOT a key pair of any kind.
//
//   makekeys -output KEYFILE -input SEEDFILE
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

namespace {

const char kUsage[] =
    "usage: makekeys -output KEYFILE -input SEEDFILE\n"
    "Stand-in for the real key-pair generator: writes KEYFILE with a $MerchantPUK\n"
    "and a $MerchantPRK block, each ended by EOF, whose text is derived from the\n"
    "seed file's bytes alone. The text is not a usable key pair.\n";

// FNV-1a over the seed, then splitmix64 to stretch it: the same seed always
// gives the same key text.
std::uint64_t Fingerprint(const std::string& bytes) {
    std::uint64_t h = 0xcbf29ce484222325ULL;
    for (unsigned char c : bytes) {
        h ^= c;
        h *= 0x100000001b3ULL;
    }
    return h;
}

std::uint64_t SplitMix(std::uint64_t& state) {
    std::uint64_t z = (state += 0x9e3779b97f4a7c15ULL);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return z ^ (z >> 31);
}

std::vector<unsigned char> Stretch(std::uint64_t& state, std::size_t count) {
    std::vector<unsigned char> out;
    while (out.size() < count) {
        std::uint64_t word = SplitMix(state);
        for (int i = 0; i < 8 && out.size() < count; ++i) out.push_back(static_cast<unsigned char>(word >> (8 * i)));
    }
    return out;
}

std::string Base64(const std::vector<unsigned char>& data) {
    static const char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (std::size_t i = 0; i < data.size(); i += 3) {
        std::uint32_t n = data[i] << 16;
        if (i + 1 < data.size()) n |= data[i + 1] << 8;
        if (i + 2 < data.size()) n |= data[i + 2];
        out += kDigits[(n >> 18) & 63];
        out += kDigits[(n >> 12) & 63];
        out += i + 1 < data.size() ? kDigits[(n >> 6) & 63] : '=';
        out += i + 2 < data.size() ? kDigits[n & 63] : '=';
    }
    return out;
}

void WriteBlock(std::FILE* out, const char* header, const std::string& text) {
    std::fprintf(out, "%s\n", header);
    for (std::size_t i = 0; i < text.size(); i += 64) std::fprintf(out, "%s\n", text.substr(i, 64).c_str());
    std::fprintf(out, "EOF\n");
}

// Creates the directories above path that are missing.
void MakeParents(const std::wstring& path) {
    for (std::size_t at = path.find_first_of(L"\\/", 3); at != std::wstring::npos;
         at = path.find_first_of(L"\\/", at + 1)) {
        CreateDirectoryW(path.substr(0, at).c_str(), nullptr);
    }
}

}  // namespace

// Its arguments in UTF-16, as the library starts it: an install root in any
// language works.
int wmain(int argc, wchar_t** argv) {
    const wchar_t* output = nullptr;
    const wchar_t* input = nullptr;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::wcscmp(argv[i], L"-output") == 0) output = argv[i + 1];
        else if (std::wcscmp(argv[i], L"-input") == 0) input = argv[i + 1];
        else output = input = nullptr, i = argc;
    }
    if (!output || !input || argc != 5) {
        std::fputs(kUsage, stderr);
        return 2;
    }

    std::FILE* seedFile = _wfopen(input, L"rb");
    if (!seedFile) {
        std::fprintf(stderr, "makekeys: cannot read seed file %ls\n", input);
        return 1;
    }
    std::string seed;
    char chunk[4096];
    for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, seedFile)) > 0;) seed.append(chunk, n);
    std::fclose(seedFile);

    std::uint64_t state = Fingerprint(seed);
    std::string publicText = Base64(Stretch(state, 96));
    std::string privateText = Base64(Stretch(state, 240));

    // Written aside and renamed when complete: a reader never sees half a file.
    MakeParents(output);
    const std::wstring partial = std::wstring(output) + L".part";
    std::FILE* keyFile = _wfopen(partial.c_str(), L"w");
    if (!keyFile) {
        std::fprintf(stderr, "makekeys: cannot write key file %ls\n", output);
        return 1;
    }
    WriteBlock(keyFile, "$MerchantPUK", publicText);
    WriteBlock(keyFile, "$MerchantPRK", privateText);
    bool written = !std::ferror(keyFile);
    if (std::fclose(keyFile) != 0) written = false;
    if (!written || !MoveFileExW(partial.c_str(), output, MOVEFILE_REPLACE_EXISTING)) {
        std::fprintf(stderr, "makekeys: error writing key file %ls\n", output);
        DeleteFileW(partial.c_str());
        return 1;
    }
    return 0;
}
