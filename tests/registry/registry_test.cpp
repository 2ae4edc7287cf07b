// The registry exports against Wine's real registry, in keys that each test
// creates below HKLM\SOFTWARE and removes again when it ends.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "boxes.h"
#include "scratch.h"
#include "frame/diagnostics.h"
#include "frame/export.h"
#include "registry/registry.h"

namespace {

using wextest::Box;

const char kPrevious[] = "previous text";
const char kStores[] = "SOFTWARE\\Microsoft\\MerchantServer\\Stores";

HKEY CreateKey(const std::string& path) {
    HKEY key = nullptr;
    EXPECT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                              nullptr),
              ERROR_SUCCESS)
        << path;
    return key;
}

void MakeKey(const std::string& path, const std::vector<std::string>& values = {}) {
    HKEY key = CreateKey(path);
    for (const std::string& v : values)
        RegSetValueExA(key, v.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>("x"), 2);
    RegCloseKey(key);
}

bool KeyExists(const std::string& path) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

// The names of a key's values; "(missing)" alone when the key is gone.
std::vector<std::string> ValuesOf(const std::string& path) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return {"(missing)"};
    std::vector<std::string> names;
    for (DWORD i = 0;; ++i) {
        char name[20000];
        DWORD size = sizeof name;
        if (RegEnumValueA(key, i, name, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        names.push_back(name);
    }
    RegCloseKey(key);
    return names;
}

// A value's type and bytes.
std::pair<DWORD, std::string> ValueBytes(const std::string& path, const char* value) {
    std::string bytes(1024, '\xCC');
    DWORD type = 0, size = static_cast<DWORD>(bytes.size());
    if (RegGetValueA(HKEY_LOCAL_MACHINE, path.c_str(), value, RRF_RT_ANY | RRF_NOEXPAND, &type, &bytes[0],
                     &size) != ERROR_SUCCESS)
        return {0, "(missing)"};
    bytes.resize(size);
    return {type, bytes};
}

class Registry : public testing::Test {
protected:
    void SetUp() override {
        root_ = "SOFTWARE\\WexTest" + std::to_string(GetCurrentProcessId());
        MakeKey(root_);
        EndEnumeration();
        std::strcpy(wex::MessageBuffer(), kPrevious);
    }
    void TearDown() override {
        EndEnumeration();
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, root_.c_str());
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, root_.c_str());
        for (const std::string& store : stores_) {
            std::string path = std::string(kStores) + "\\" + store;
            RegDeleteTreeA(HKEY_LOCAL_MACHINE, path.c_str());
            RegDeleteKeyA(HKEY_LOCAL_MACHINE, path.c_str());
        }
    }

    // Leaves no enumeration key open: a negative index names no subkey in
    // whichever key is open (or in root_, opened for the call).
    void EndEnumeration() {
        char name[256];
        EXPECT_EQ(EnumKeys(root_.c_str(), -1, name), 0);
    }

    // A path below root_ of exactly length characters, in components of at
    // most 100 (a key name may have at most 255).
    std::string PathOfLength(size_t length) const {
        std::string path = root_ + "\\";
        while (path.size() < length) {
            size_t left = length - path.size();
            path += left > 101 ? std::string(100, 'k') + "\\" : std::string(left, 'k');
        }
        return path;
    }

    std::string Key(const std::string& name) const { return root_ + "\\" + name; }

    // A store with the given component values; its name is remembered for
    // removal.
    std::string Store(const std::string& name, const std::vector<std::string>& components) {
        stores_.push_back(name);
        std::string components_path = std::string(kStores) + "\\" + name + "\\Components";
        MakeKey(components_path, components);
        return components_path;
    }

    std::string Buffer() const { return wex::MessageBuffer(); }

    std::string root_;
    std::vector<std::string> stores_;
    wextest::BoxRecorder boxes_;
};

TEST_F(Registry, RegRemoveValueTellsWhetherValuesRemain) {
    const std::string longName(300, 'L');
    struct Row {
        const char* label;
        std::vector<std::string> before;  // empty with exists false: no key
        bool exists;
        const char* remove;
        int result;
        std::vector<std::string> after;
    } const rows[] = {
        {"only value", {"A"}, true, "A", 0, {}},
        {"one of two", {"A", "B"}, true, "A", 1, {"B"}},
        {"default value remains", {"", "A"}, true, "A", 1, {""}},
        {"missing value", {"A"}, true, "Z", 0, {"A"}},
        {"missing key", {}, false, "A", 0, {"(missing)"}},
        // A remaining value whose name is longer than the 256-byte buffer
        // still remains.
        {"long name remains", {"A", longName}, true, "A", 1, {longName}},
    };
    int n = 0;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        std::string path = Key("values" + std::to_string(++n));
        if (row.exists) MakeKey(path, row.before);
        EXPECT_EQ(RegRemoveValue(path.c_str(), row.remove), row.result);
        EXPECT_EQ(ValuesOf(path), row.after);
    }
    EXPECT_EQ(Buffer(), kPrevious);
    EXPECT_TRUE(boxes_.Boxes().empty());
}

TEST_F(Registry, RemoveSubkeyDeletesOneKeyWithoutSubkeys) {
    MakeKey(Key("parent\\leaf"));
    MakeKey(Key("parent\\branch\\twig"));
    struct Row {
        std::string parent, name;
        int result;
        std::string gone;  // a key that must be gone afterwards, else ""
        std::string kept;  // a key that must still be there
    } const rows[] = {
        {Key("parent"), "leaf", 1, Key("parent\\leaf"), Key("parent")},
        {Key("parent"), "branch", 0, "", Key("parent\\branch\\twig")},
        {Key("parent"), "nothing", 0, "", Key("parent")},
        {Key("no parent"), "leaf", 0, "", Key("parent")},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(wex::registry::RemoveSubkey(row.parent.c_str(), row.name.c_str()), row.result);
        if (!row.gone.empty()) {
            EXPECT_FALSE(KeyExists(row.gone));
        }
        EXPECT_TRUE(KeyExists(row.kept));
    }
}

TEST_F(Registry, RegRemovePayComponentRemovesOnlyThePaymentComponent) {
    const std::string base = "WexTest" + std::to_string(GetCurrentProcessId());
    struct Row {
        std::string store;
        bool hasComponents;
        std::vector<std::string> before;
        int result;
        std::vector<std::string> after;
    } const rows[] = {
        {base + "A", true, {"Components_Payment", "Components_Shipping"}, 1, {"Components_Shipping"}},
        // The last component: the store's key is asked for deletion, which
        // the registry refuses while it holds its components key.
        {base + "B", true, {"Components_Payment"}, 0, {}},
        {base + "C", true, {"Components_Shipping"}, 0, {"Components_Shipping"}},
        {base + "D", false, {}, 0, {"(missing)"}},
        // The longest store name the components path takes, and one more.
        {base + std::string(203 - base.size(), 'x'), true, {"Components_Payment", "Other"}, 1, {"Other"}},
        {base + std::string(204 - base.size(), 'y'), true, {"Components_Payment", "Other"}, 0,
         {"Components_Payment", "Other"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.store.size() > 40 ? std::to_string(row.store.size()) + " characters" : row.store);
        std::string components = std::string(kStores) + "\\" + row.store + "\\Components";
        if (row.hasComponents) {
            Store(row.store, row.before);
        } else {
            stores_.push_back(row.store);
            MakeKey(std::string(kStores) + "\\" + row.store);
        }
        EXPECT_EQ(RegRemovePayComponent(row.store.c_str()), row.result);
        EXPECT_EQ(ValuesOf(components), row.after);
        EXPECT_TRUE(KeyExists(std::string(kStores) + "\\" + row.store));
    }
    EXPECT_EQ(Buffer(), kPrevious);
    EXPECT_TRUE(boxes_.Boxes().empty());
}

const char kTooMany[] = "Internal error. Increase value of MAX_STRINGS.";

std::string Joined(int from, int to, char separator) {
    std::string s;
    for (int i = from; i <= to; ++i) {
        s += std::to_string(i);
        s += separator;
    }
    return s;
}

TEST_F(Registry, SetRegMultiSzWritesThePiecesAndTwoClosingZeros) {
    const std::string z(1, '\0');
    struct Row {
        std::string list;
        int result;
        std::string bytes;  // the value's data; "(missing)" when not written
        std::string listAfter;
        bool tooManyBox;
    } const rows[] = {
        {"one+two+three", 1, "one" + z + "two" + z + "three" + z + z + z, "one", false},
        {"a++b+", 1, "a" + z + "b" + z + z + z, "a", false},
        {"", 1, z + z, "", false},
        {"+++", 1, z + z, "+++", false},
        {"100%d+%s", 1, "100%d" + z + "%s" + z + z + z, "100%d", false},
        {Joined(1, 10, '+'), 1, Joined(1, 10, '\0') + z + z, "1", true},
        {Joined(1, 12, '+'), 1, Joined(1, 10, '\0') + z + z, "1", true},
        // The pieces with their zeros and the six closing zeros fill the
        // 400-byte buffer exactly; one byte more is refused, list untouched.
        {std::string(393, 'p'), 1, std::string(393, 'p') + z + z + z, std::string(393, 'p'), false},
        {std::string(394, 'q'), 0, "(missing)", std::string(394, 'q'), false},
        {std::string(200, 'r') + "+" + std::string(200, 's'), 0, "(missing)",
         std::string(200, 'r') + "+" + std::string(200, 's'), false},
    };
    int n = 0;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.list.substr(0, 40));
        boxes_.Clear();
        std::string path = Key("multi" + std::to_string(++n));
        MakeKey(path);
        std::string list = row.list;
        EXPECT_EQ(SetRegMultiSz(path.c_str(), "Stores", &list[0]), row.result);
        auto [type, bytes] = ValueBytes(path, "Stores");
        EXPECT_EQ(bytes, row.bytes);
        if (row.result == 1) {
            EXPECT_EQ(type, static_cast<DWORD>(REG_MULTI_SZ));
        }
        EXPECT_EQ(std::string(list.c_str()), row.listAfter);
        std::vector<Box> expected;
        if (row.tooManyBox) expected.push_back({"Inside SetRegMultiSz", kTooMany});
        EXPECT_EQ(boxes_.Boxes(), expected);
        EXPECT_EQ(Buffer(), kPrevious);
    }
}

TEST_F(Registry, SetRegMultiSzFailures) {
    // The path buffer holds 287 characters: a path of 287 is tried, one of
    // 288 is refused without a word. (Wine itself refuses 8-bit paths longer
    // than about 260 characters, with 234, so the 287 one fails to open.)
    MakeKey(Key("present"));
    struct Row {
        std::string path;
        std::string valueName;
        const char* text;  // the text's start; nullptr: the buffer keeps its text
        const char* exact;  // the whole text where the code is known
    } const rows[] = {
        {Key("missing"), "V", "RegOpenKeyEx:-->", "RegOpenKeyEx:-->2<--"},
        {PathOfLength(287), "V", "RegOpenKeyEx:-->", nullptr},
        {PathOfLength(288), "V", nullptr, nullptr},
        // Value names have at most 16383 characters.
        {Key("present"), std::string(20000, 'v'), "RegSetValueEx:-->", nullptr},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::to_string(row.path.size()) + " " + std::to_string(row.valueName.size()));
        boxes_.Clear();
        std::strcpy(wex::MessageBuffer(), kPrevious);
        char list[] = "a+b";
        EXPECT_EQ(SetRegMultiSz(row.path.c_str(), row.valueName.c_str(), list), 0);
        EXPECT_EQ(KeyExists(row.path), row.path == Key("present")) << "no key is created";
        std::vector<Box> expected;
        if (row.text) {
            EXPECT_EQ(Buffer().rfind(row.text, 0), 0u) << Buffer();
            EXPECT_EQ(Buffer().substr(Buffer().size() - 3), "<--");
            expected.push_back({"Inside SetRegMultiSz", Buffer()});
        } else {
            EXPECT_EQ(Buffer(), kPrevious);
        }
        if (row.exact) {
            EXPECT_EQ(Buffer(), row.exact);
        }
        EXPECT_EQ(boxes_.Boxes(), expected);
    }
}

class Enumeration : public Registry {
protected:
    void SetUp() override {
        Registry::SetUp();
        for (const char* k : {"A\\a0", "A\\a1", "A\\a2", "A\\a3", "B\\b0", "B\\b1"}) MakeKey(Key(k));
    }

    // Calls EnumKeys with a buffer full of junk; returns result and name.
    std::pair<int, std::string> Enum(const std::string& path, int index) {
        char name[256];
        std::memset(name, 'J', sizeof name);
        name[255] = '\0';
        int result = EnumKeys(path.c_str(), index, name);
        return {result, name};
    }
};

TEST_F(Enumeration, WalksTheSubkeysAndClosesAtTheEnd) {
    using R = std::pair<int, std::string>;
    EXPECT_EQ(Enum(Key("B"), 0), R(1, "b0"));
    EXPECT_EQ(Enum(Key("B"), 1), R(1, "b1"));
    EXPECT_EQ(Enum(Key("B"), 2), R(0, ""));
    // Closed at the end: the next call opens the key of its own path.
    EXPECT_EQ(Enum(Key("A"), 1), R(1, "a1"));
    EXPECT_EQ(Buffer(), kPrevious);
    EXPECT_TRUE(boxes_.Boxes().empty());
}

TEST_F(Enumeration, GoesOnInTheOpenKeyWhateverThePath) {
    using R = std::pair<int, std::string>;
    struct Row {
        std::string path;
        int index;
        R expected;
    } const rows[] = {
        {Key("A"), 3, {1, "a3"}},  // first call at 3: opens A and delivers at once
        {Key("B"), 1, {1, "a1"}},  // still in A
        {"", 2, {1, "a2"}},        // the path is not looked at
        {Key("B"), 0, {1, "b0"}},  // index 0 closes A and opens B
        {Key("A"), -1, {0, ""}},   // names no subkey, closes B
        {Key("A"), 1, {1, "a1"}},  // so this opens A
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.path + " " + std::to_string(row.index));
        EXPECT_EQ(Enum(row.path, row.index), row.expected);
    }
    char name[256];
    EXPECT_EQ(EnumKeys(nullptr, 2, name), 1) << "goes on in A without a path";
    EXPECT_STREQ(name, "a2");
}

TEST_F(Enumeration, KeyThatCannotBeOpened) {
    using R = std::pair<int, std::string>;
    EXPECT_EQ(Enum(PathOfLength(288), 0), R(0, ""));
    EXPECT_EQ(Buffer(), kPrevious) << "refused without a word";

    EXPECT_EQ(Enum(Key("A"), 0), R(1, "a0"));
    EXPECT_EQ(Enum(Key("missing"), 0), R(0, ""));
    EXPECT_EQ(Buffer(), "RegOpenKeyEx:-->2<--");
    // No key is open after the failure: index 1 opens B.
    EXPECT_EQ(Enum(Key("B"), 1), R(1, "b1"));
    EXPECT_TRUE(boxes_.Boxes().empty());
}

// ---- The wide twins ----------------------------------------------------------

using wextest::Utf8;
using wextest::Wide;

// Who calls: the A export, or its twin. The twin is given the same names
// as UTF-16, also names that the ANSI code page (1252 here) cannot hold:
// Cyrillic, Japanese and a character beyond the BMP (a surrogate pair).
struct Caller {
    bool wide;
    const char* name;  // UTF-8
};
const Caller kCallers[] = {
    {false, "Plain"}, {true, "Plain"}, {true, "Магазин"}, {true, "店舗"}, {true, "💳"}, {true, "Магазин 店舗 💳"},
};
std::string Label(const Caller& c) { return std::string(c.wide ? "W " : "A ") + c.name; }

HKEY CreateKeyW(const std::string& path) {
    HKEY key = nullptr;
    EXPECT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, Wide(path).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                              nullptr),
              ERROR_SUCCESS)
        << path;
    return key;
}

void MakeKeyW(const std::string& path, const std::vector<std::string>& values = {}) {
    HKEY key = CreateKeyW(path);
    for (const std::string& v : values)
        RegSetValueExW(key, Wide(v).c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(L"x"), 4);
    RegCloseKey(key);
}

bool KeyExistsW(const std::string& path) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, Wide(path).c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

std::vector<std::string> ValuesOfW(const std::string& path) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, Wide(path).c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return {"(missing)"};
    std::vector<std::string> names;
    for (DWORD i = 0;; ++i) {
        wchar_t name[20000];
        DWORD size = 20000;
        if (RegEnumValueW(key, i, name, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        names.push_back(Utf8(std::wstring(name, size)));
    }
    RegCloseKey(key);
    return names;
}

// A value as the registry holds it: its type and its UTF-16 data.
std::pair<DWORD, std::wstring> RawValue(const std::string& path, const std::string& value) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, Wide(path).c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return {0, L"(no key)"};
    std::wstring data(4096, L'\xCCCC');
    DWORD type = 0, size = static_cast<DWORD>(data.size() * sizeof(wchar_t));
    const LONG code =
        RegQueryValueExW(key, Wide(value).c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&data[0]), &size);
    RegCloseKey(key);
    if (code != ERROR_SUCCESS) return {0, L"(missing)"};
    EXPECT_EQ(size % 2, 0u);
    data.resize(size / sizeof(wchar_t));
    return {type, data};
}

// The text in code page 1252, for the A export.
std::string Ansi(const std::string& utf8) {
    const std::wstring wide = Wide(utf8);
    std::string bytes(wide.size() * 2 + 1, '\0');
    BOOL lossy = FALSE;
    const int n = WideCharToMultiByte(1252, WC_NO_BEST_FIT_CHARS, wide.data(), static_cast<int>(wide.size()), &bytes[0],
                                      static_cast<int>(bytes.size()), nullptr, &lossy);
    EXPECT_FALSE(lossy) << utf8;
    bytes.resize(static_cast<std::size_t>(n));
    return bytes;
}

int RemoveValueBy(const Caller& c, const std::string& path, const std::string& value) {
    return c.wide ? RegRemoveValueW(Wide(path).c_str(), Wide(value).c_str())
                  : RegRemoveValue(path.c_str(), value.c_str());
}

int RemovePayComponentBy(const Caller& c, const std::string& store) {
    return c.wide ? RegRemovePayComponentW(Wide(store).c_str()) : RegRemovePayComponent(store.c_str());
}

// Calls SetRegMultiSz or its twin with a writable copy of list; list
// receives the caller's text afterwards, up to its end (zeros included).
int SetMultiSzBy(const Caller& c, const std::string& path, const std::string& value, std::string& list) {
    if (!c.wide) return SetRegMultiSz(path.c_str(), value.c_str(), &list[0]);
    std::wstring wide = Wide(list);
    const int result = SetRegMultiSzW(Wide(path).c_str(), Wide(value).c_str(), &wide[0]);
    list = Utf8(wide);
    return result;
}

// EnumKeys or its twin, into a buffer of junk; the name as UTF-8.
std::pair<int, std::string> EnumBy(bool wide, const std::string& path, int index) {
    if (!wide) {
        char name[256];
        std::memset(name, 'J', sizeof name);
        name[255] = '\0';
        const int result = EnumKeys(path.empty() ? nullptr : path.c_str(), index, name);
        return {result, name};
    }
    wchar_t name[256];
    for (wchar_t& c : name) c = L'J';
    name[255] = L'\0';
    const int result = EnumKeysW(path.empty() ? nullptr : Wide(path).c_str(), index, name);
    return {result, Utf8(name)};
}

TEST_F(Registry, TwinsRemoveValuesNamedInAnyLanguage) {
    int n = 0;
    for (const Caller& c : kCallers) {
        SCOPED_TRACE(Label(c));
        const std::string path = Key(std::to_string(++n) + " " + c.name);
        const std::string first = std::string(c.name) + " 1", second = std::string(c.name) + " 2";
        MakeKeyW(path, {first, second});
        EXPECT_EQ(RemoveValueBy(c, path, first), 1);
        EXPECT_EQ(ValuesOfW(path), std::vector<std::string>{second});
        EXPECT_EQ(RemoveValueBy(c, path, first), 0) << "already gone";
        EXPECT_EQ(RemoveValueBy(c, path, second), 0) << "the last value";
        EXPECT_EQ(ValuesOfW(path), std::vector<std::string>{});
        EXPECT_EQ(RemoveValueBy(c, Key("missing ") + c.name, second), 0);
    }
    EXPECT_EQ(Buffer(), kPrevious);
    EXPECT_TRUE(boxes_.Boxes().empty());
}

TEST_F(Registry, TwinsRemovePayComponentsOfStoresNamedInAnyLanguage) {
    const std::string base = "WexTest" + std::to_string(GetCurrentProcessId()) + " ";
    int n = 0;
    for (const Caller& c : kCallers) {
        SCOPED_TRACE(Label(c));
        const std::string other = "Components_" + std::string(c.name);
        const std::string shared = base + std::to_string(++n) + c.name, only = base + std::to_string(++n) + c.name;
        for (const std::string& store : {shared, only}) stores_.push_back(store);
        const std::string sharedComponents = std::string(kStores) + "\\" + shared + "\\Components";
        const std::string onlyComponents = std::string(kStores) + "\\" + only + "\\Components";
        MakeKeyW(sharedComponents, {"Components_Payment", other});
        MakeKeyW(onlyComponents, {"Components_Payment"});
        EXPECT_EQ(RemovePayComponentBy(c, shared), 1);
        EXPECT_EQ(ValuesOfW(sharedComponents), std::vector<std::string>{other});
        // The last component: the store's key, which still holds its
        // components key, cannot be deleted.
        EXPECT_EQ(RemovePayComponentBy(c, only), 0);
        EXPECT_EQ(ValuesOfW(onlyComponents), std::vector<std::string>{});
        EXPECT_TRUE(KeyExistsW(std::string(kStores) + "\\" + only));
    }
    EXPECT_EQ(Buffer(), kPrevious);
    EXPECT_TRUE(boxes_.Boxes().empty());
}

// Each "+" that ends a piece: the list as the caller's text reads afterwards.
std::string SplitText(std::string list) {
    for (std::size_t at = 0, pieces = 0; at < list.size() && pieces < 11;) {
        if (list[at] == '+') {
            ++at;
            continue;
        }
        const std::size_t end = list.find('+', at);
        if (end == std::string::npos) break;
        list[end] = '\0';
        ++pieces;
        at = end + 1;
    }
    return list;
}

TEST_F(Registry, TwinsWriteMultiStringsNamedInAnyLanguage) {
    int n = 0;
    for (const Caller& c : kCallers) {
        SCOPED_TRACE(Label(c));
        boxes_.Clear();
        const std::string name = c.name;
        const std::string path = Key("multi " + std::to_string(++n) + name);
        MakeKeyW(path);
        const std::string given = "+" + name + "++x+" + name + " 2+";
        std::string list = given;
        EXPECT_EQ(SetMultiSzBy(c, path, "Value " + name, list), 1);
        const std::wstring z(1, L'\0');
        const std::wstring pieces = Wide(name) + z + L"x" + z + Wide(name + " 2") + z;
        EXPECT_EQ(RawValue(path, "Value " + name), std::make_pair(static_cast<DWORD>(REG_MULTI_SZ), pieces + z + z));
        // Split in place, the A export's bytes and the twin's UTF-16 alike.
        EXPECT_EQ(c.wide ? list : std::string(list.c_str()), c.wide ? SplitText(given) : "+" + name);
        EXPECT_TRUE(boxes_.Boxes().empty());

        // Ten pieces: the limit's box, in the same words.
        std::string ten;
        for (int i = 0; i < 12; ++i) ten += name + std::to_string(i) + "+";
        EXPECT_EQ(SetMultiSzBy(c, path, "Ten", ten), 1);
        std::wstring stored;
        for (int i = 0; i < 10; ++i) stored += Wide(name + std::to_string(i)) + z;
        EXPECT_EQ(RawValue(path, "Ten").second, stored + z + z);
        EXPECT_EQ(boxes_.Boxes(), (std::vector<Box>{{"Inside SetRegMultiSz", kTooMany}}));
        EXPECT_EQ(Buffer(), kPrevious);

        // A key that is not there: its text in the buffer and a box.
        boxes_.Clear();
        std::string list2 = "a+b";
        EXPECT_EQ(SetMultiSzBy(c, Key("missing " + name), "V", list2), 0);
        EXPECT_FALSE(KeyExistsW(Key("missing " + name)));
        EXPECT_EQ(Buffer(), "RegOpenKeyEx:-->2<--");
        EXPECT_EQ(boxes_.Boxes(), (std::vector<Box>{{"Inside SetRegMultiSz", "RegOpenKeyEx:-->2<--"}}));
        std::strcpy(wex::MessageBuffer(), kPrevious);
    }
}

// The value SetRegMultiSzW stores is the one SetRegMultiSz stores for the
// same text, byte for byte as the registry holds it; and that one is what
// the platform's own A function stores for the pieces' bytes.
TEST_F(Registry, SetRegMultiSzAndItsTwinStoreTheSameValue) {
    const std::string z(1, '\0');
    const std::string lists[] = {
        "Zürich+Straße+a++b+", "", "+++", "100%d+%s", "é", Joined(1, 12, '+'), "€uro+¿qué?+ÿ",
    };
    int n = 0;
    for (const std::string& text : lists) {
        SCOPED_TRACE(text);
        const std::string path = Key("same " + std::to_string(++n));
        MakeKeyW(path);
        std::string ansi = Ansi(text);
        ASSERT_EQ(SetRegMultiSz(path.c_str(), "A", &ansi[0]), 1);
        std::wstring wide = Wide(text);
        ASSERT_EQ(SetRegMultiSzW(Wide(path).c_str(), L"W", &wide[0]), 1);

        // The pieces' bytes as the A export laid them out, stored by the
        // platform's A function.
        std::string reference;
        std::string pieces = Ansi(text);
        int count = 0;
        for (char* piece = std::strtok(&pieces[0], "+"); piece && count < 10; ++count) {
            reference += std::string(piece) + z;
            piece = std::strtok(nullptr, "+");
        }
        reference += z + z;
        HKEY key = nullptr;
        ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
        ASSERT_EQ(RegSetValueExA(key, "Platform", 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(reference.data()),
                                 static_cast<DWORD>(reference.size())),
                  ERROR_SUCCESS);
        RegCloseKey(key);

        const auto a = RawValue(path, "A"), w = RawValue(path, "W"), platform = RawValue(path, "Platform");
        EXPECT_EQ(a.first, static_cast<DWORD>(REG_MULTI_SZ));
        EXPECT_EQ(a, w);
        EXPECT_EQ(a, platform);
        // The caller's texts split alike.
        EXPECT_EQ(ansi, Ansi(SplitText(text)));
        EXPECT_EQ(wide, Wide(SplitText(text)));
    }
}

// Limits that count bytes in the A export count UTF-16 units in the twin:
// the path's 287, the pieces' 394, the store name's 203.
TEST_F(Registry, TwinsCountTheirLimitsInUtf16Units) {
    const std::string zhe = "ж";  // one unit, two bytes
    auto repeated = [](const std::string& text, std::size_t count) {
        std::string s;
        for (std::size_t i = 0; i < count; ++i) s += text;
        return s;
    };
    // Paths of 287 and 288 units; components of at most 100 characters.
    auto pathOfUnits = [&](std::size_t units) {
        std::string path = root_ + "\\";
        std::size_t have = path.size();
        while (have < units) {
            const std::size_t left = units - have;
            if (left > 101) {
                path += repeated(zhe, 100) + "\\";
                have += 101;
            } else {
                path += repeated(zhe, left);
                have += left;
            }
        }
        return path;
    };
    {
        std::wstring list = L"a+b";
        EXPECT_EQ(SetRegMultiSzW(Wide(pathOfUnits(287)).c_str(), L"V", &list[0]), 0);
        EXPECT_EQ(Buffer(), "RegOpenKeyEx:-->2<--") << "287 units are tried";
        std::strcpy(wex::MessageBuffer(), kPrevious);
        boxes_.Clear();
        EXPECT_EQ(SetRegMultiSzW(Wide(pathOfUnits(288)).c_str(), L"V", &list[0]), 0);
        EXPECT_EQ(Buffer(), kPrevious) << "288 units are refused without a word";
        EXPECT_TRUE(boxes_.Boxes().empty());
        EXPECT_EQ(EnumBy(true, pathOfUnits(288), 0), std::make_pair(0, std::string()));
        EXPECT_EQ(Buffer(), kPrevious);
    }
    {
        const std::string path = Key("pieces");
        MakeKeyW(path);
        std::wstring fits = Wide(repeated(zhe, 393)), over = Wide(repeated(zhe, 394));
        EXPECT_EQ(SetRegMultiSzW(Wide(path).c_str(), L"Fits", &fits[0]), 1);
        EXPECT_EQ(RawValue(path, "Fits").second, Wide(repeated(zhe, 393)) + std::wstring(3, L'\0'));
        EXPECT_EQ(SetRegMultiSzW(Wide(path).c_str(), L"Over", &over[0]), 0);
        EXPECT_EQ(RawValue(path, "Over").second, L"(missing)");
        EXPECT_EQ(over, Wide(repeated(zhe, 394))) << "a refused list is left as it was";
    }
    {
        const std::string base = "WexTest" + std::to_string(GetCurrentProcessId());
        const std::string longest = base + repeated(zhe, 203 - base.size());
        const std::string tooLong = base + repeated("ы", 204 - base.size());
        for (const std::string& store : {longest, tooLong}) {
            stores_.push_back(store);
            MakeKeyW(std::string(kStores) + "\\" + store + "\\Components", {"Components_Payment", "Other"});
        }
        EXPECT_EQ(RegRemovePayComponentW(Wide(longest).c_str()), 1);
        EXPECT_EQ(ValuesOfW(std::string(kStores) + "\\" + longest + "\\Components"), std::vector<std::string>{"Other"});
        EXPECT_EQ(RegRemovePayComponentW(Wide(tooLong).c_str()), 0);
        EXPECT_EQ(ValuesOfW(std::string(kStores) + "\\" + tooLong + "\\Components"),
                  (std::vector<std::string>{"Components_Payment", "Other"}));
    }
}

TEST_F(Enumeration, TwinHandsOutNamesInAnyLanguage) {
    std::string cyrillic255;
    for (int i = 0; i < 255; ++i) cyrillic255 += "д";
    const std::vector<std::string> names = {"Plain", "Магазин", "店舗", "💳", "Магазин 店舗 💳", cyrillic255};
    for (const std::string& name : names) MakeKeyW(Key("U\\" + name));

    std::multiset<std::string> seen;
    for (int index = 0;; ++index) {
        auto [result, name] = EnumBy(true, Key("U"), index);
        if (result == 0) {
            EXPECT_EQ(name, "");
            break;
        }
        seen.insert(name);
    }
    EXPECT_EQ(seen, std::multiset<std::string>(names.begin(), names.end()));

    // The A export hands out what the platform's A function gives for each.
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, Key("U").c_str(), 0, KEY_READ, &key), ERROR_SUCCESS);
    for (DWORD index = 0; index <= names.size(); ++index) {
        SCOPED_TRACE(index);
        char name[256];
        DWORD size = sizeof name;
        const LONG code = RegEnumKeyExA(key, index, name, &size, nullptr, nullptr, nullptr, nullptr);
        const auto expected =
            code == ERROR_SUCCESS ? std::make_pair(1, std::string(name, size)) : std::make_pair(0, std::string());
        EXPECT_EQ(EnumBy(false, Key("U"), static_cast<int>(index)), expected);
    }
    RegCloseKey(key);
    EXPECT_EQ(Buffer(), kPrevious);
    EXPECT_TRUE(boxes_.Boxes().empty());
}

// EnumKeys and EnumKeysW share the one enumeration: a call of either with
// an index other than 0 goes on in the key the last opening call opened.
TEST_F(Enumeration, TheTwinsShareOneEnumeration) {
    using R = std::pair<int, std::string>;
    struct Row {
        bool wide;
        std::string path;
        int index;
        R expected;
    } const rows[] = {
        {false, Key("A"), 0, {1, "a0"}}, {true, Key("B"), 1, {1, "a1"}}, {false, "", 2, {1, "a2"}},
        {true, Key("B"), 0, {1, "b0"}},  {false, Key("A"), 1, {1, "b1"}}, {true, "", 2, {0, ""}},
        {false, Key("A"), 3, {1, "a3"}}, {true, Key("missing"), 0, {0, ""}}, {false, Key("B"), 1, {1, "b1"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.wide ? "W " : "A ") + row.path + " " + std::to_string(row.index));
        EXPECT_EQ(EnumBy(row.wide, row.path, row.index), row.expected);
    }
    EXPECT_EQ(Buffer(), "RegOpenKeyEx:-->2<--");
}

}  // namespace
