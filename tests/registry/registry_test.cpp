// The registry exports against Wine's real registry, in keys that each test
// creates below HKLM\SOFTWARE and removes again when it ends.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "boxes.h"
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

}  // namespace
