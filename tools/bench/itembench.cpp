// itembench: times Wexlib.dll's item file exports on a large item file next
// to what the same work costs through the C runtime and through the profile
// API, and prints one table. A benchmark, not a test: the targets it prints
// are figures for reading, and it ends with 0 whether they hold or not (1 only
// when a measurement could not be made or gave a wrong answer).
//
//   itembench [--rounds N]
//
// Run it from a directory on a writable drive: its files go there, and the C
// runtime's temporary names (used by the library and by the rewrite floor)
// are in the root of the current drive.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "itemfile/itemline.h"
#include "wexlib.h"

namespace {

// The file: 1 MiB in 40,000 CR LF lines, the wanted item on the last one, so
// that every query reads the whole file.
constexpr std::size_t kFileBytes = 1 << 20;
constexpr int kLines = 40000;
constexpr int kWarmupRounds = 2;
constexpr int kDefaultRounds = 21;
// "NAME_12345 = value" and CR LF: what every line holds before its padding.
constexpr std::size_t kLineCore = 18 + 2;
static_assert(kFileBytes / kLines >= kLineCore, "the lines do not fit the file");

// The query floor reads with a 400-byte fgets buffer, the size that the
// library reads item lines in.
constexpr int kLineBuffer = static_cast<int>(wex::itemfile::kLineBufferSize);

// The speeds the exports aim for, as multiples of the floors.
struct Targets {
    double getOverQueryFloor = 1.0;
    double setOverRewriteFloor = 1.5;
};

// The floors' rows, which the ratios refer to.
const char kQueryFloor[] = "query floor: fgets, text mode";
const char kRewriteFloor[] = "rewrite floor: fputs tmpnam, CopyFileA";

// ---- The file's content ---------------------------------------------------

std::string LineName(int index) {
    char name[16];
    std::snprintf(name, sizeof name, "NAME_%05d", index);
    return name;
}

// Line lengths spread the bytes that 40,000 equal lines leave over across
// the first lines, one each.
std::size_t LineLength(int index) {
    const std::size_t base = kFileBytes / kLines, extra = kFileBytes % kLines;
    return base + (static_cast<std::size_t>(index) < extra ? 1 : 0);
}

// "value" padded with fill to the line's length (without " = " and newline).
std::string LineValue(int index, char fill) {
    const std::size_t padding = LineLength(index) - kLineCore;
    return "value" + std::string(padding, fill);
}

// The item file as text-mode lines ending in "\n"; the last line's value
// uses lastFill, every other value 'x'.
std::vector<std::string> ItemLines(char lastFill) {
    std::vector<std::string> lines;
    lines.reserve(kLines);
    for (int i = 0; i < kLines; ++i) {
        const char fill = i == kLines - 1 ? lastFill : 'x';
        lines.push_back(LineName(i) + " = " + LineValue(i, fill) + "\n");
    }
    return lines;
}

// The bytes on disk: every "\n" as CR LF.
std::string DiskBytes(const std::vector<std::string>& lines) {
    std::string bytes;
    bytes.reserve(kFileBytes);
    for (const std::string& line : lines) {
        bytes.append(line, 0, line.size() - 1);
        bytes.append("\r\n");
    }
    return bytes;
}

bool WriteFileBytes(const std::string& path, const std::string& bytes) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && written;
}

bool ReadFileBytes(const std::string& path, std::string& bytes) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    bytes.clear();
    char chunk[64 * 1024];
    for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, f)) > 0;) bytes.append(chunk, n);
    std::fclose(f);
    return true;
}

// ---- The floors: the same work through the C runtime ----------------------

// A GetFileItem built on the C runtime: fgets in text mode, the library's own
// item-line test on each line, the first item line's value.
bool QueryFloor(const char* path, const std::string& name, std::string& value) {
    std::FILE* f = std::fopen(path, "r");
    if (!f) return false;
    char line[kLineBuffer];
    bool found = false;
    while (std::fgets(line, sizeof line, f)) {
        const std::string_view text(line);
        const std::size_t valuePart = wex::itemfile::ValuePartOffset(text, name);
        if (valuePart == wex::itemfile::kNoItem) continue;
        value = std::string(wex::itemfile::ItemValue(text.substr(valuePart)));
        found = true;
        break;
    }
    std::fclose(f);
    return found;
}

// A rewrite built on the C runtime: the new content into a tmpnam file in
// text mode, copied over the target, the temporary file removed.
bool RewriteFloor(const char* target, const std::vector<std::string>& lines, const std::string& lastLine) {
    const char* temp = std::tmpnam(nullptr);
    if (!temp) return false;
    const std::string tempName = temp;
    std::FILE* f = std::fopen(tempName.c_str(), "w");
    if (!f) return false;
    bool ok = true;
    for (std::size_t i = 0; i + 1 < lines.size(); ++i) ok = std::fputs(lines[i].c_str(), f) >= 0 && ok;
    ok = std::fputs(lastLine.c_str(), f) >= 0 && ok;
    ok = std::fclose(f) == 0 && ok;
    ok = ok && CopyFileA(tempName.c_str(), target, FALSE);
    std::remove(tempName.c_str());
    return ok;
}

// ---- The profile API --------------------------------------------------------

// The profile API keeps a parsed copy of the files it read; this documented
// call drops the copy of one file, so that the next call reads the file.
void DropProfileCopy(const char* path) { WritePrivateProfileStringA(nullptr, nullptr, nullptr, path); }

// ---- Timing ---------------------------------------------------------------

struct Measurement {
    using Step = std::function<bool(int round)>;
    Measurement(std::string name, Step prepare, Step timed)
        : name(std::move(name)), prepare(std::move(prepare)), timed(std::move(timed)) {}

    std::string name;
    Step prepare;  // untimed; may be empty
    Step timed;
    std::vector<double> samples;
};

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

double Min(const std::vector<double>& values) { return *std::min_element(values.begin(), values.end()); }

// The running Wine's build text, or nothing when the system is not Wine.
std::string WineBuild() {
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    if (!ntdll) return std::string();
    using Text = const char*(CDECL*)();
    if (auto build = reinterpret_cast<Text>(GetProcAddress(ntdll, "wine_get_build_id"))) return build();
    if (auto version = reinterpret_cast<Text>(GetProcAddress(ntdll, "wine_get_version")))
        return std::string("wine-") + version();
    return std::string();
}

std::string Here(const char* name) {
    char directory[MAX_PATH];
    const DWORD length = GetCurrentDirectoryA(MAX_PATH, directory);
    std::string path(directory, length < MAX_PATH ? length : 0);
    if (!path.empty() && path.back() != '\\') path += '\\';
    return path + name;
}

int Fail(const char* what, const std::string& detail) {
    std::fprintf(stderr, "itembench: %s: %s\n", what, detail.c_str());
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    int rounds = kDefaultRounds;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--rounds") == 0 && i + 1 < argc && std::atoi(argv[i + 1]) > 0) {
            rounds = std::atoi(argv[++i]);
        } else {
            std::fprintf(stderr, "usage: itembench [--rounds N]\n");
            return 2;
        }
    }
    const Targets targets;

    // Without a writable root on the current drive neither the library nor
    // the rewrite floor can make its temporary file.
    if (const char* probe = std::tmpnam(nullptr)) {
        std::FILE* f = std::fopen(probe, "w");
        if (!f) return Fail("the current drive's root is not writable", probe);
        std::fclose(f);
        std::remove(probe);
    }

    const std::string itemPath = Here("item.txt");                   // read only
    const std::string setPath = Here("set.txt");                     // SetFileItem's target
    const std::string deletePath = Here("delete.txt");               // restored before each DeleteFileItem
    const std::string floorPath = Here("floor.txt");                 // the rewrite floor's target
    const std::string profilePath = Here("profile.ini");             // read only
    const std::string profileWritePath = Here("profile-write.ini");  // restored before each write

    const std::vector<std::string> lines = ItemLines('x');
    const std::string itemBytes = DiskBytes(lines);
    // The profile API needs a section: the "[s]" line in front is the only
    // difference from the item file.
    const std::string profileBytes = "[s]\r\n" + itemBytes;
    if (!WriteFileBytes(itemPath, itemBytes) || !WriteFileBytes(setPath, itemBytes) ||
        !WriteFileBytes(deletePath, itemBytes) || !WriteFileBytes(floorPath, itemBytes) ||
        !WriteFileBytes(profilePath, profileBytes) || !WriteFileBytes(profileWritePath, profileBytes))
        return Fail("cannot write the item files in", Here(""));

    // What the file on disk holds, counted from the disk.
    std::string onDisk;
    if (!ReadFileBytes(itemPath, onDisk)) return Fail("cannot read back", itemPath);
    const std::size_t lineEnds = std::count(onDisk.begin(), onDisk.end(), '\n');
    std::size_t crlfEnds = 0;
    for (std::size_t at = 0; (at = onDisk.find("\r\n", at)) != std::string::npos; at += 2) ++crlfEnds;

    const std::string name = LineName(kLines - 1);
    const std::string expected = LineValue(kLines - 1, 'x');
    // Two values of the original's length, taken in turn, so that every edit
    // really changes the file and its size stays the same.
    const std::string newValues[2] = {LineValue(kLines - 1, 'a'), LineValue(kLines - 1, 'b')};
    std::string newLastLines[2];
    for (int i = 0; i < 2; ++i) newLastLines[i] = name + " = " + newValues[i] + "\n";
    const auto newValue = [&](int round) -> const std::string& { return newValues[round % 2]; };

    // Every query must find the same value before any of them is timed.
    {
        std::string floorValue;
        if (!QueryFloor(itemPath.c_str(), name, floorValue) || floorValue != expected)
            return Fail("the query floor read a wrong value", floorValue);
        char value[kLineBuffer] = "";
        if (GetFileItem(itemPath.c_str(), name.c_str(), value) != 1 || expected != value)
            return Fail("GetFileItem read a wrong value", value);
        char profileValue[kLineBuffer] = "";
        GetPrivateProfileStringA("s", name.c_str(), "", profileValue, sizeof profileValue, profilePath.c_str());
        if (expected != profileValue) return Fail("GetPrivateProfileStringA read a wrong value", profileValue);
    }

    std::string floorValue;
    char value[kLineBuffer];
    char profileValue[kLineBuffer];
    std::vector<Measurement> measurements;
    measurements.emplace_back(kQueryFloor, nullptr,
                              [&](int) { return QueryFloor(itemPath.c_str(), name, floorValue); });
    measurements.emplace_back("GetFileItem", nullptr,
                              [&](int) { return GetFileItem(itemPath.c_str(), name.c_str(), value) == 1; });
    measurements.emplace_back(
        "GetPrivateProfileStringA",
        [&](int) {
            DropProfileCopy(profilePath.c_str());
            return true;
        },
        [&](int) {
            return GetPrivateProfileStringA("s", name.c_str(), "", profileValue, sizeof profileValue,
                                            profilePath.c_str()) > 0;
        });
    // Straight after the one above: the API answers from its parsed copy.
    measurements.emplace_back("GetPrivateProfileStringA, kept copy", nullptr, [&](int) {
        return GetPrivateProfileStringA("s", name.c_str(), "", profileValue, sizeof profileValue,
                                        profilePath.c_str()) > 0;
    });
    measurements.emplace_back(kRewriteFloor, nullptr, [&](int round) {
        return RewriteFloor(floorPath.c_str(), lines, newLastLines[round % 2]);
    });
    measurements.emplace_back("SetFileItem", nullptr, [&](int round) {
        // " = " stays: the export keeps the line up to its "=".
        const std::string valuePart = " " + newValue(round);
        return SetFileItem(setPath.c_str(), name.c_str(), valuePart.c_str()) == 1;
    });
    measurements.emplace_back(
        "DeleteFileItem", [&](int) { return CopyFileA(itemPath.c_str(), deletePath.c_str(), FALSE) != 0; },
        [&](int) { return DeleteFileItem(deletePath.c_str(), name.c_str(), nullptr) == 1; });
    measurements.emplace_back(
        "WritePrivateProfileStringA",
        [&](int) {
            // Each write starts from the same file, read afresh.
            if (!CopyFileA(profilePath.c_str(), profileWritePath.c_str(), FALSE)) return false;
            DropProfileCopy(profileWritePath.c_str());
            return true;
        },
        [&](int round) {
            return WritePrivateProfileStringA("s", name.c_str(), newValue(round).c_str(),
                                              profileWritePath.c_str()) != 0;
        });

    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    // Round by round, every measurement once, so that a slow spell of the
    // shared machine falls on all of them alike.
    const int lastRound = kWarmupRounds + rounds - 1;
    for (int round = 0; round <= lastRound; ++round) {
        for (Measurement& m : measurements) {
            if (m.prepare && !m.prepare(round)) return Fail("could not prepare", m.name);
            LARGE_INTEGER start, end;
            QueryPerformanceCounter(&start);
            const bool ok = m.timed(round);
            QueryPerformanceCounter(&end);
            if (!ok) return Fail("failed", m.name);
            if (round >= kWarmupRounds)
                m.samples.push_back(static_cast<double>(end.QuadPart - start.QuadPart) * 1000.0 /
                                    static_cast<double>(frequency.QuadPart));
        }
    }

    // The rewrites of the last round must have produced the same file.
    {
        std::string setBytes, floorBytes;
        if (!ReadFileBytes(setPath, setBytes) || !ReadFileBytes(floorPath, floorBytes) || setBytes != floorBytes ||
            setBytes.size() != itemBytes.size())
            return Fail("SetFileItem and the rewrite floor wrote different files", setPath + ", " + floorPath);
        char after[kLineBuffer] = "";
        if (GetFileItem(setPath.c_str(), name.c_str(), after) != 1 || newValue(lastRound) != after)
            return Fail("SetFileItem left a wrong value", after);
    }

    const auto median = [&](const char* which) {
        for (const Measurement& m : measurements)
            if (m.name == which) return Median(m.samples);
        return 0.0;
    };
    const double queryFloor = median(kQueryFloor);
    const double rewriteFloor = median(kRewriteFloor);
    const double getFileItem = median("GetFileItem");
    const double setFileItem = median("SetFileItem");
    const double profileGet = median("GetPrivateProfileStringA");
    const double profileWrite = median("WritePrivateProfileStringA");

    const std::string wine = WineBuild();
#ifdef _WIN64
    const char* arch = "win64";
#else
    const char* arch = "win32";
#endif
    std::printf("Wexlib item file benchmark: %s build under %s\n", arch,
                wine.empty() ? "Windows (not Wine)" : wine.c_str());
    std::printf("item file %s: %zu bytes, %zu lines (%zu with CR LF), wanted item %s on the last line\n",
                itemPath.c_str(), onDisk.size(), lineEnds, crlfEnds, name.c_str());
    std::printf("median and min of %d rounds after %d warm-up rounds, every measurement once a round\n\n", rounds,
                kWarmupRounds);
    std::printf("%-40s %10s %10s  %s\n", "measurement", "median ms", "min ms", "ratio");
    for (const Measurement& m : measurements) {
        const double med = Median(m.samples);
        char ratio[48] = "";
        if (m.name == "GetFileItem")
            std::snprintf(ratio, sizeof ratio, "%.2fx query floor", med / queryFloor);
        else if (m.name == "SetFileItem" || m.name == "DeleteFileItem")
            std::snprintf(ratio, sizeof ratio, "%.2fx rewrite floor", med / rewriteFloor);
        std::printf("%-40s %10.3f %10.3f  %s\n", m.name.c_str(), med, Min(m.samples), ratio);
    }
    std::printf(
        "\nThe profile API rows without \"kept copy\" drop the API's parsed copy of the file\n"
        "before each call (untimed), so that they read the file as the exports do.\n\n");

    const auto verdict = [](bool holds) { return holds ? "holds" : "misses"; };
    char line[96];
    std::printf("targets\n");
    std::snprintf(line, sizeof line, "GetFileItem <= %.1fx query floor", targets.getOverQueryFloor);
    std::printf("  %-48s %-7s (%.2fx)\n", line, verdict(getFileItem <= targets.getOverQueryFloor * queryFloor),
                getFileItem / queryFloor);
    std::snprintf(line, sizeof line, "SetFileItem <= %.1fx rewrite floor", targets.setOverRewriteFloor);
    std::printf("  %-48s %-7s (%.2fx)\n", line, verdict(setFileItem <= targets.setOverRewriteFloor * rewriteFloor),
                setFileItem / rewriteFloor);
    std::printf("  %-48s %-7s (%.3f ms vs %.3f ms)\n", "GetFileItem below GetPrivateProfileStringA",
                verdict(getFileItem < profileGet), getFileItem, profileGet);
    std::printf("  %-48s %-7s (%.3f ms vs %.3f ms)\n", "SetFileItem below WritePrivateProfileStringA",
                verdict(setFileItem < profileWrite), setFileItem, profileWrite);

    for (const std::string& path : {itemPath, setPath, deletePath, floorPath, profilePath, profileWritePath})
        DeleteFileA(path.c_str());
    return 0;
}
