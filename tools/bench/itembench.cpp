// itembench: times Wexlib.dll's item file exports on a large item file next
// to what the same work costs through the C runtime, through the profile API
// and through the bare system calls (the raw floors), then GetFileItem and
// SetFileItem on a small item file next to its raw floors, and prints the
// tables. GetFileItemW and SetFileItemW do the same work on the same files
// beside their A exports and are measured against them. A benchmark, not a
// test: the targets it prints are figures for reading, and it ends with 0
// whether they hold or not (1 only when a measurement could not be made or
// gave a wrong answer).
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

// A file's size and lines; the wanted item is on the last line, so that
// every query reads the whole file.
struct Shape {
    std::size_t bytes;
    int lines;
};
// The large file: 1 MiB in 40,000 CR LF lines.
constexpr Shape kLarge{1 << 20, 40000};
// The small file: 60 lines, as a merchant's settings file has, where the
// flush to disk outweighs the reading and writing.
constexpr Shape kSmall{60 * 32, 60};
constexpr int kWarmupRounds = 2;
constexpr int kDefaultRounds = 21;
// "NAME_12345 = value" and CR LF: what every line holds before its padding.
constexpr std::size_t kLineCore = 18 + 2;
static_assert(kLarge.bytes / kLarge.lines >= kLineCore, "the lines do not fit the file");
static_assert(kSmall.bytes / kSmall.lines >= kLineCore, "the lines do not fit the file");

// The query floor reads with a 400-byte fgets buffer, the size that the
// library reads item lines in.
constexpr int kLineBuffer = static_cast<int>(wex::itemfile::kLineBufferSize);

// The speeds the exports aim for, as multiples of the floors.
struct Targets {
    double getOverQueryFloor = 1.0;
    double setOverRewriteFloor = 1.5;
    // Against the raw floors: on the large file, and on the small one, where
    // SetFileItem's turn, security copy and link resolution count.
    double getOverRawRead = 1.5;
    double setOverRawRewrite = 1.5;
    double smallSetOverRawRewrite = 2.0;
    // The wide twins against their A exports, on the large and the small file.
    double twinOverAExport = 1.1;
};

// The floors' rows, which the ratios refer to.
const char kQueryFloor[] = "query floor: fgets, text mode";
const char kRewriteFloor[] = "rewrite floor: fputs tmpnam, CopyFileA";
const char kRawRead[] = "raw floor: one ReadFile, a search";
const char kRawRewrite[] = "raw floor: read, write, flush, rename";

// ---- The file's content ---------------------------------------------------

std::string LineName(int index) {
    char name[16];
    std::snprintf(name, sizeof name, "NAME_%05d", index);
    return name;
}

// Line lengths spread the bytes that equal lines leave over across the
// first lines, one each.
std::size_t LineLength(const Shape& shape, int index) {
    const std::size_t base = shape.bytes / shape.lines, extra = shape.bytes % shape.lines;
    return base + (static_cast<std::size_t>(index) < extra ? 1 : 0);
}

// "value" padded with fill to the line's length (without " = " and newline).
std::string LineValue(const Shape& shape, int index, char fill) {
    const std::size_t padding = LineLength(shape, index) - kLineCore;
    return "value" + std::string(padding, fill);
}

// The item file as text-mode lines ending in "\n"; the last line's value
// uses lastFill, every other value 'x'.
std::vector<std::string> ItemLines(const Shape& shape, char lastFill) {
    std::vector<std::string> lines;
    lines.reserve(shape.lines);
    for (int i = 0; i < shape.lines; ++i) {
        const char fill = i == shape.lines - 1 ? lastFill : 'x';
        lines.push_back(LineName(i) + " = " + LineValue(shape, i, fill) + "\n");
    }
    return lines;
}

// The bytes on disk: every "\n" as CR LF.
std::string DiskBytes(const std::vector<std::string>& lines) {
    std::string bytes;
    for (const std::string& line : lines) {
        bytes.append(line, 0, line.size() - 1);
        bytes.append("\r\n");
    }
    return bytes;
}

// The benchmark's paths, names and values are ASCII.
std::wstring WideOf(const std::string& text) { return std::wstring(text.begin(), text.end()); }

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

// ---- The raw floors: the least that the system calls take ------------------

// The whole file in one ReadFile, then the item found in the bytes: the
// name, then spaces and "=" after it, the value up to the line end.
bool RawRead(const char* path, const std::string& name, std::string& value) {
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    LARGE_INTEGER size;
    std::string bytes;
    DWORD read = 0;
    bool ok = GetFileSizeEx(file, &size) != 0;
    if (ok) {
        bytes.resize(static_cast<std::size_t>(size.QuadPart));
        ok = ReadFile(file, &bytes[0], static_cast<DWORD>(bytes.size()), &read, nullptr) && read == bytes.size();
    }
    CloseHandle(file);
    if (!ok) return false;
    for (std::size_t at = 0; (at = bytes.find(name, at)) != std::string::npos; at += name.size()) {
        std::size_t eq = at + name.size();
        while (eq < bytes.size() && bytes[eq] == ' ') ++eq;
        if (eq == bytes.size() || bytes[eq] != '=') continue;
        std::size_t start = eq + 1;
        while (start < bytes.size() && bytes[start] == ' ') ++start;
        value = bytes.substr(start, bytes.find("\r\n", start) - start);
        return true;
    }
    return false;
}

// The atomic rewrite with nothing around it: the target read in one
// ReadFile, its new content (the last line's value changed) written to a
// sibling in one WriteFile, flushed, renamed over the target.
bool RawRewrite(const char* target, const std::string& oldLastLine, const std::string& newLastLine) {
    HANDLE file = CreateFileA(target, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    LARGE_INTEGER size;
    std::string bytes;
    DWORD done = 0;
    bool ok = GetFileSizeEx(file, &size) != 0;
    if (ok) {
        bytes.resize(static_cast<std::size_t>(size.QuadPart));
        ok = ReadFile(file, &bytes[0], static_cast<DWORD>(bytes.size()), &done, nullptr) && done == bytes.size();
    }
    CloseHandle(file);
    const std::size_t last = bytes.rfind(oldLastLine);
    if (!ok || last == std::string::npos) return false;
    bytes.replace(last, oldLastLine.size(), newLastLine);
    const std::string sibling = std::string(target) + ".raw-new";
    HANDLE next = CreateFileA(sibling.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (next == INVALID_HANDLE_VALUE) return false;
    ok = WriteFile(next, bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr) && done == bytes.size();
    ok = FlushFileBuffers(next) && ok;
    CloseHandle(next);
    return ok && MoveFileExA(sibling.c_str(), target, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
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

// Round by round, every measurement once, so that a slow spell of the shared
// machine falls on all of them alike. False after the line of the one that
// failed.
bool TimeRounds(std::vector<Measurement>& measurements, int rounds) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    for (int round = 0; round < kWarmupRounds + rounds; ++round) {
        for (Measurement& m : measurements) {
            if (m.prepare && !m.prepare(round)) {
                Fail("could not prepare", m.name);
                return false;
            }
            LARGE_INTEGER start, end;
            QueryPerformanceCounter(&start);
            const bool ok = m.timed(round);
            QueryPerformanceCounter(&end);
            if (!ok) {
                Fail("failed", m.name);
                return false;
            }
            if (round >= kWarmupRounds)
                m.samples.push_back(static_cast<double>(end.QuadPart - start.QuadPart) * 1000.0 /
                                    static_cast<double>(frequency.QuadPart));
        }
    }
    return true;
}

double MedianOf(const std::vector<Measurement>& measurements, const char* which) {
    for (const Measurement& m : measurements)
        if (m.name == which) return Median(m.samples);
    return 0.0;
}

// One table: each measurement's median and min per call, and its ratio to
// the floor named for it.
void PrintTable(const std::vector<Measurement>& measurements,
                const std::vector<std::pair<std::string, const char*>>& ratios) {
    std::printf("%-40s %10s %10s  %s\n", "measurement", "median ms", "min ms", "ratio");
    for (const Measurement& m : measurements) {
        const double med = Median(m.samples);
        char ratio[64] = "";
        for (const auto& r : ratios) {
            if (r.first == m.name) {
                std::snprintf(ratio, sizeof ratio, "%.2fx %s", med / MedianOf(measurements, r.second),
                              r.second == kQueryFloor     ? "query floor"
                              : r.second == kRewriteFloor ? "rewrite floor"
                              : r.second == kRawRead      ? "raw read"
                              : r.second == kRawRewrite   ? "raw rewrite"
                                                          : r.second);
            }
        }
        std::printf("%-40s %10.3f %10.3f  %s\n", m.name.c_str(), med, Min(m.samples), ratio);
    }
}

void PrintTarget(const char* what, double limit, double value, double floor) {
    char line[96];
    std::snprintf(line, sizeof line, what, limit);
    std::printf("  %-48s %-7s (%.2fx)\n", line, value <= limit * floor ? "holds" : "misses", value / floor);
}

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
    const std::string setWPath = Here("set-w.txt");                  // SetFileItemW's target
    const std::string deletePath = Here("delete.txt");               // restored before each DeleteFileItem
    const std::string floorPath = Here("floor.txt");                 // the rewrite floor's target
    const std::string rawPath = Here("raw.txt");                     // the raw rewrite floor's target
    const std::string profilePath = Here("profile.ini");             // read only
    const std::string profileWritePath = Here("profile-write.ini");  // restored before each write
    const std::string smallPath = Here("small.txt");                 // the small file: read only
    const std::string smallSetPath = Here("small-set.txt");          // its SetFileItem target
    const std::string smallSetWPath = Here("small-set-w.txt");       // its SetFileItemW target
    const std::string smallRawPath = Here("small-raw.txt");          // its raw rewrite floor's target

    const std::vector<std::string> lines = ItemLines(kLarge, 'x');
    const std::string itemBytes = DiskBytes(lines);
    // The profile API needs a section: the "[s]" line in front is the only
    // difference from the item file.
    const std::string profileBytes = "[s]\r\n" + itemBytes;
    const std::string smallBytes = DiskBytes(ItemLines(kSmall, 'x'));
    if (!WriteFileBytes(itemPath, itemBytes) || !WriteFileBytes(setPath, itemBytes) ||
        !WriteFileBytes(setWPath, itemBytes) || !WriteFileBytes(smallSetWPath, smallBytes) ||
        !WriteFileBytes(deletePath, itemBytes) || !WriteFileBytes(floorPath, itemBytes) ||
        !WriteFileBytes(rawPath, itemBytes) || !WriteFileBytes(profilePath, profileBytes) ||
        !WriteFileBytes(profileWritePath, profileBytes) || !WriteFileBytes(smallPath, smallBytes) ||
        !WriteFileBytes(smallSetPath, smallBytes) || !WriteFileBytes(smallRawPath, smallBytes))
        return Fail("cannot write the item files in", Here(""));

    // What the file on disk holds, counted from the disk.
    std::string onDisk;
    if (!ReadFileBytes(itemPath, onDisk)) return Fail("cannot read back", itemPath);
    const std::size_t lineEnds = std::count(onDisk.begin(), onDisk.end(), '\n');
    std::size_t crlfEnds = 0;
    for (std::size_t at = 0; (at = onDisk.find("\r\n", at)) != std::string::npos; at += 2) ++crlfEnds;

    // Per file: the wanted name, its value, and two new values of the
    // original's length, taken in turn, so that every edit really changes the
    // file and its size stays the same.
    struct Wanted {
        std::string name, expected, values[2], diskLines[3];  // diskLines: as on disk, old value last
        std::wstring wideName, wideValueParts[2];             // for the twins
        explicit Wanted(const Shape& shape)
            : name(LineName(shape.lines - 1)), expected(LineValue(shape, shape.lines - 1, 'x')) {
            values[0] = LineValue(shape, shape.lines - 1, 'a');
            values[1] = LineValue(shape, shape.lines - 1, 'b');
            for (int i = 0; i < 2; ++i) diskLines[i] = name + " =" + " " + values[i] + "\r\n";
            diskLines[2] = name + " = " + expected + "\r\n";
            wideName = WideOf(name);
            for (int i = 0; i < 2; ++i) wideValueParts[i] = WideOf(" " + values[i]);
        }
        const std::string& Value(int round) const { return values[round % 2]; }
        const std::wstring& WideValuePart(int round) const { return wideValueParts[round % 2]; }
        // SetFileItem keeps the line up to its "=": " = " stays.
        std::string ValuePart(int round) const { return " " + Value(round); }
        // The raw rewrite's change: round 0 from the original line.
        const std::string& OldLine(int round) const { return round == 0 ? diskLines[2] : diskLines[(round - 1) % 2]; }
        const std::string& NewLine(int round) const { return diskLines[round % 2]; }
    };
    const Wanted large(kLarge), small(kSmall);
    const std::string& name = large.name;
    std::string newLastLines[2];
    for (int i = 0; i < 2; ++i) newLastLines[i] = name + " = " + large.values[i] + "\n";

    // Every query must find the same value before any of them is timed.
    {
        std::string floorValue, rawValue;
        if (!QueryFloor(itemPath.c_str(), name, floorValue) || floorValue != large.expected)
            return Fail("the query floor read a wrong value", floorValue);
        if (!RawRead(itemPath.c_str(), name, rawValue) || rawValue != large.expected)
            return Fail("the raw read floor read a wrong value", rawValue);
        char value[kLineBuffer] = "";
        if (GetFileItem(itemPath.c_str(), name.c_str(), value) != 1 || large.expected != value)
            return Fail("GetFileItem read a wrong value", value);
        char profileValue[kLineBuffer] = "";
        GetPrivateProfileStringA("s", name.c_str(), "", profileValue, sizeof profileValue, profilePath.c_str());
        if (large.expected != profileValue) return Fail("GetPrivateProfileStringA read a wrong value", profileValue);
        if (!RawRead(smallPath.c_str(), small.name, rawValue) || rawValue != small.expected ||
            GetFileItem(smallPath.c_str(), small.name.c_str(), value) != 1 || small.expected != value)
            return Fail("a query of the small file read a wrong value", value);
        wchar_t wideValue[kLineBuffer] = L"";
        if (GetFileItemW(WideOf(itemPath).c_str(), large.wideName.c_str(), wideValue) != 1 ||
            WideOf(large.expected) != wideValue)
            return Fail("GetFileItemW read a wrong value", large.name);
        if (GetFileItemW(WideOf(smallPath).c_str(), small.wideName.c_str(), wideValue) != 1 ||
            WideOf(small.expected) != wideValue)
            return Fail("GetFileItemW read a wrong value in the small file", small.name);
    }

    std::string floorValue, rawValue;
    char value[kLineBuffer];
    wchar_t wideValue[kLineBuffer];
    char profileValue[kLineBuffer];
    const std::wstring wideItemPath = WideOf(itemPath), wideSetPath = WideOf(setWPath);
    const std::wstring wideSmallPath = WideOf(smallPath), wideSmallSetPath = WideOf(smallSetWPath);
    std::vector<Measurement> measurements;
    measurements.emplace_back(kQueryFloor, nullptr,
                              [&](int) { return QueryFloor(itemPath.c_str(), name, floorValue); });
    measurements.emplace_back(kRawRead, nullptr, [&](int) { return RawRead(itemPath.c_str(), name, rawValue); });
    measurements.emplace_back("GetFileItem", nullptr,
                              [&](int) { return GetFileItem(itemPath.c_str(), name.c_str(), value) == 1; });
    measurements.emplace_back("GetFileItemW", nullptr, [&](int) {
        return GetFileItemW(wideItemPath.c_str(), large.wideName.c_str(), wideValue) == 1;
    });
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
    measurements.emplace_back(kRawRewrite, nullptr, [&](int round) {
        return RawRewrite(rawPath.c_str(), large.OldLine(round), large.NewLine(round));
    });
    measurements.emplace_back("SetFileItem", nullptr, [&](int round) {
        return SetFileItem(setPath.c_str(), name.c_str(), large.ValuePart(round).c_str()) == 1;
    });
    measurements.emplace_back("SetFileItemW", nullptr, [&](int round) {
        return SetFileItemW(wideSetPath.c_str(), large.wideName.c_str(), large.WideValuePart(round).c_str()) == 1;
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
            return WritePrivateProfileStringA("s", name.c_str(), large.Value(round).c_str(),
                                              profileWritePath.c_str()) != 0;
        });

    std::vector<Measurement> smallMeasurements;
    smallMeasurements.emplace_back(kRawRead, nullptr,
                                   [&](int) { return RawRead(smallPath.c_str(), small.name, rawValue); });
    smallMeasurements.emplace_back("GetFileItem", nullptr, [&](int) {
        return GetFileItem(smallPath.c_str(), small.name.c_str(), value) == 1;
    });
    smallMeasurements.emplace_back("GetFileItemW", nullptr, [&](int) {
        return GetFileItemW(wideSmallPath.c_str(), small.wideName.c_str(), wideValue) == 1;
    });
    smallMeasurements.emplace_back(kRawRewrite, nullptr, [&](int round) {
        return RawRewrite(smallRawPath.c_str(), small.OldLine(round), small.NewLine(round));
    });
    smallMeasurements.emplace_back("SetFileItem", nullptr, [&](int round) {
        return SetFileItem(smallSetPath.c_str(), small.name.c_str(), small.ValuePart(round).c_str()) == 1;
    });
    smallMeasurements.emplace_back("SetFileItemW", nullptr, [&](int round) {
        return SetFileItemW(wideSmallSetPath.c_str(), small.wideName.c_str(), small.WideValuePart(round).c_str()) ==
               1;
    });

    if (!TimeRounds(measurements, rounds) || !TimeRounds(smallMeasurements, rounds)) return 1;
    const int lastRound = kWarmupRounds + rounds - 1;

    // The rewrites of the last round must have produced the same files.
    {
        std::string setBytes, floorBytes, rawBytes;
        if (!ReadFileBytes(setPath, setBytes) || !ReadFileBytes(floorPath, floorBytes) ||
            !ReadFileBytes(rawPath, rawBytes) || setBytes != floorBytes || setBytes != rawBytes ||
            setBytes.size() != itemBytes.size())
            return Fail("SetFileItem and the rewrite floors wrote different files", setPath + ", " + floorPath);
        char after[kLineBuffer] = "";
        if (GetFileItem(setPath.c_str(), name.c_str(), after) != 1 || large.Value(lastRound) != after)
            return Fail("SetFileItem left a wrong value", after);
        if (!ReadFileBytes(smallSetPath, setBytes) || !ReadFileBytes(smallRawPath, rawBytes) || setBytes != rawBytes ||
            setBytes.size() != smallBytes.size())
            return Fail("SetFileItem and the raw rewrite floor wrote different small files", smallSetPath);
        std::string twinBytes;
        if (!ReadFileBytes(setPath, setBytes) || !ReadFileBytes(setWPath, twinBytes) || twinBytes != setBytes)
            return Fail("SetFileItemW and SetFileItem wrote different files", setWPath);
        if (!ReadFileBytes(smallSetPath, setBytes) || !ReadFileBytes(smallSetWPath, twinBytes) || twinBytes != setBytes)
            return Fail("SetFileItemW and SetFileItem wrote different small files", smallSetWPath);
    }

    const double queryFloor = MedianOf(measurements, kQueryFloor);
    const double rewriteFloor = MedianOf(measurements, kRewriteFloor);
    const double rawRead = MedianOf(measurements, kRawRead);
    const double rawRewrite = MedianOf(measurements, kRawRewrite);
    const double getFileItem = MedianOf(measurements, "GetFileItem");
    const double setFileItem = MedianOf(measurements, "SetFileItem");
    const double profileGet = MedianOf(measurements, "GetPrivateProfileStringA");
    const double profileWrite = MedianOf(measurements, "WritePrivateProfileStringA");
    const double smallRawRewrite = MedianOf(smallMeasurements, kRawRewrite);
    const double smallSetFileItem = MedianOf(smallMeasurements, "SetFileItem");
    const double getTwin = MedianOf(measurements, "GetFileItemW");
    const double setTwin = MedianOf(measurements, "SetFileItemW");
    const double smallGetFileItem = MedianOf(smallMeasurements, "GetFileItem");
    const double smallGetTwin = MedianOf(smallMeasurements, "GetFileItemW");
    const double smallSetTwin = MedianOf(smallMeasurements, "SetFileItemW");

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
    PrintTable(measurements, {{"GetFileItem", kQueryFloor},
                              {"GetFileItemW", "GetFileItem"},
                              {kRawRead, kQueryFloor},
                              {"SetFileItem", kRewriteFloor},
                              {"SetFileItemW", "SetFileItem"},
                              {kRawRewrite, kRewriteFloor},
                              {"DeleteFileItem", kRewriteFloor}});
    std::printf(
        "\nThe profile API rows without \"kept copy\" drop the API's parsed copy of the file\n"
        "before each call (untimed), so that they read the file as the exports do.\n"
        "The raw floors: the whole file in one ReadFile and a search; the same read, the\n"
        "new content in one WriteFile to a sibling, FlushFileBuffers, MoveFileExA over the file.\n\n");
    std::printf("small item file %s: %zu bytes, %d lines, wanted item %s on the last line\n", smallPath.c_str(),
                smallBytes.size(), kSmall.lines, small.name.c_str());
    PrintTable(smallMeasurements, {{"GetFileItem", kRawRead},
                                   {"GetFileItemW", "GetFileItem"},
                                   {"SetFileItem", kRawRewrite},
                                   {"SetFileItemW", "SetFileItem"}});

    std::printf("\ntargets\n");
    PrintTarget("GetFileItem <= %.1fx query floor", targets.getOverQueryFloor, getFileItem, queryFloor);
    PrintTarget("SetFileItem <= %.1fx rewrite floor", targets.setOverRewriteFloor, setFileItem, rewriteFloor);
    PrintTarget("GetFileItem <= %.1fx raw read", targets.getOverRawRead, getFileItem, rawRead);
    PrintTarget("SetFileItem <= %.1fx raw rewrite", targets.setOverRawRewrite, setFileItem, rawRewrite);
    PrintTarget("small: SetFileItem <= %.1fx raw rewrite", targets.smallSetOverRawRewrite, smallSetFileItem,
                smallRawRewrite);
    PrintTarget("GetFileItemW <= %.1fx GetFileItem", targets.twinOverAExport, getTwin, getFileItem);
    PrintTarget("SetFileItemW <= %.1fx SetFileItem", targets.twinOverAExport, setTwin, setFileItem);
    PrintTarget("small: GetFileItemW <= %.1fx GetFileItem", targets.twinOverAExport, smallGetTwin, smallGetFileItem);
    PrintTarget("small: SetFileItemW <= %.1fx SetFileItem", targets.twinOverAExport, smallSetTwin, smallSetFileItem);
    const auto verdict = [](bool holds) { return holds ? "holds" : "misses"; };
    std::printf("  %-48s %-7s (%.3f ms vs %.3f ms)\n", "GetFileItem below GetPrivateProfileStringA",
                verdict(getFileItem < profileGet), getFileItem, profileGet);
    std::printf("  %-48s %-7s (%.3f ms vs %.3f ms)\n", "SetFileItem below WritePrivateProfileStringA",
                verdict(setFileItem < profileWrite), setFileItem, profileWrite);

    for (const std::string& path : {itemPath, setPath, setWPath, smallSetWPath, deletePath, floorPath, rawPath, profilePath, profileWritePath,
                                    smallPath, smallSetPath, smallRawPath})
        DeleteFileA(path.c_str());
    return 0;
}
