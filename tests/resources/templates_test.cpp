// Reads the dialog templates back out of the built Wexlib.dll with the
// platform's resource functions, walks their bytes, and compares every field
// with the table below, which is the contract with the host program.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "wexlib_dialogs.h"
#include "templatereader.h"

namespace {

// The ids are the contract with the host: the names the templates and this
// table use must stand for exactly these numbers.
static_assert(IDC_NEXT == 1 && IDC_HIDDEN == 2 && IDC_CANCEL == 9 && IDC_BACK == 12, "navigation ids");
static_assert(IDC_SELECT_ALL == 100 && IDC_CLEAR_ALL == 101, "selection buttons");
static_assert(IDC_EDIT1 == 301 && IDC_EDIT2 == 302 && IDC_EDIT3 == 303 && IDC_EDIT4 == 304, "edit fields");
static_assert(IDC_LIST == 401, "list");
static_assert(IDC_CHECK1 == 501 && IDC_CHECK2 == 502 && IDC_CHECK3 == 503 && IDC_CHECK4 == 504 &&
                  IDC_CHECK5 == 505 && IDC_CHECK6 == 506,
              "check boxes");
static_assert(IDC_TEXT1 == 710 && IDC_TEXT2 == 711 && IDC_TEXT3 == 712, "texts");
static_assert(IDC_LABEL1 == 719 && IDC_LABEL2 == 720 && IDC_LABEL3 == 721 && IDC_LABEL4 == 722, "labels");
static_assert(IDC_PICTURE == 1200 && IDC_SEPARATOR == 1300, "frame");

using wextest::ParsedControl;
using wextest::ParsedDialog;

constexpr WORD kButton = 0x0080, kEdit = 0x0081, kStatic = 0x0082, kListBox = 0x0083;
constexpr WORD kEnglishUs = 1033;

struct ControlRow {
    WORD id;
    WORD classOrdinal;
    const char* text;
    DWORD style;
    short x, y, cx, cy;
};

struct DialogRow {
    const char* name;
    const char* caption;
    short x, y;
    const char* face;
    DWORD bytes;
    std::vector<ControlRow> controls;
};

// The frame that every page shares.
const ControlRow kPicture = {IDC_PICTURE, kStatic, "@10550;1;1;0,128,128;0,128,128", 0x5002000B, 10, 10, 80, 160};
const ControlRow kSeparator = {IDC_SEPARATOR, kStatic, "", 0x50020007, 10, 178, 295, 1};
const ControlRow kBack = {IDC_BACK, kButton, "< &Back", 0x50030000, 147, 185, 50, 14};
const ControlRow kNext = {IDC_NEXT, kButton, "&Next >", 0x50010001, 197, 185, 50, 14};
const ControlRow kCancel = {IDC_CANCEL, kButton, "Cancel", 0x50010000, 255, 185, 50, 14};
const ControlRow kHiddenC = {IDC_HIDDEN, kButton, "C", 0x40000000, 164, 225, 50, 14};

const char kMainText711[] =
    "This text is modifed by the 'szMsg' parameter.  You can reposition controls in this dialog and add static text fields.";
const char kSelectText710[] =
    "Select the components you want to install, clear the components you do not want to install.";

const std::vector<DialogRow> kDialogs = {
    {"ISU_ASKOPTION", "Select Options", 47, 45, "Helv", 916, {
        {IDC_CHECK1, kButton, "Option One", 0x50030003, 98, 36, 205, 10},
        {IDC_CHECK2, kButton, "Option Two", 0x50010003, 98, 49, 201, 12},
        {IDC_CHECK3, kButton, "Option Three", 0x50010003, 98, 64, 205, 10},
        {IDC_CHECK4, kButton, "Option Four", 0x50010003, 98, 77, 205, 12},
        {IDC_CHECK5, kButton, "Option Five", 0x50010003, 98, 92, 205, 12},
        {IDC_CHECK6, kButton, "Option Six", 0x50010003, 98, 107, 205, 12},
        kBack, kNext, kCancel,
        {IDC_TEXT3, kStatic, "", 0x50020000, 100, 120, 205, 40},
        {IDC_TEXT2, kStatic, "To install a component, click the check box next to it.  If the check box is clear, "
                       "that component will not be installed.", 0x50020000, 100, 10, 205, 20},
        kPicture, kSeparator, kHiddenC}},
    {"ISU_FINISH", "Setup Complete", 104, 74, "MS Sans Serif", 808, {
        {IDC_CHECK1, kButton, "Yes, I want to view the Read Me file.", 0x50030003, 101, 68, 196, 12},
        {IDC_CHECK2, kButton, "", 0x50010003, 101, 84, 196, 12},
        {IDC_CHECK3, kButton, "", 0x50010003, 101, 100, 196, 12},
        {IDC_CHECK4, kButton, "", 0x50010003, 101, 116, 196, 12},
        kBack,
        {IDC_NEXT, kButton, "OK", 0x50010001, 197, 185, 50, 14},
        {IDC_TEXT2, kStatic, "Setup has finished installing %p on your computer.\n\nSetup can launch the Read Me file "
                       "and %p.  Choose the options you want below.", 0x50020000, 101, 8, 200, 58},
        kPicture, kSeparator,
        {IDC_TEXT3, kStatic, "Click OK to Continue.", 0x50020000, 101, 138, 191, 30}}},
    {"ISU_MULEDIT", "Edit Data", 37, 37, "Helv", 656, {
        {IDC_EDIT1, kEdit, "", 0x50A31404, 101, 62, 204, 110},
        {IDC_LABEL1, kStatic, "Field 1:", 0x50020000, 101, 50, 203, 9},
        {IDC_TEXT2, kStatic, kMainText711, 0x50020080, 100, 10, 205, 34},
        kBack, kNext, kCancel, kPicture, kSeparator, kHiddenC}},
    {"ISU_PASSWORD", "User Name and Password", 53, 50, "Helv", 852, {
        {IDC_EDIT1, kEdit, "", 0x50830480, 180, 49, 125, 12},
        {IDC_EDIT2, kEdit, "", 0x508304A0, 180, 81, 125, 12},
        {IDC_EDIT3, kEdit, "", 0x508304A0, 180, 113, 125, 12},
        {IDC_LABEL1, kStatic, "Field 1:", 0x50020000, 100, 51, 78, 8},
        {IDC_LABEL2, kStatic, "Field 2:", 0x50020000, 100, 83, 78, 8},
        {IDC_LABEL3, kStatic, "Field 3:", 0x50020000, 100, 115, 77, 8},
        {IDC_TEXT2, kStatic, kMainText711, 0x50020080, 100, 10, 205, 34},
        {IDC_TEXT3, kStatic, "", 0x50020080, 100, 136, 205, 18},
        kBack, kNext, kCancel, kPicture, kSeparator, kHiddenC}},
    {"ISU_SELECT", "Select Options", 80, 103, "MS Sans Serif", 680, {
        {IDC_LIST, kListBox, "", 0x50A30061, 100, 32, 205, 117},
        {IDC_SELECT_ALL, kButton, "&Select All", 0x50030000, 198, 153, 50, 14},
        {IDC_CLEAR_ALL, kButton, "&Clear All", 0x50010000, 255, 153, 50, 14},
        {IDC_TEXT1, kStatic, kSelectText710, 0x50020000, 100, 10, 205, 19},
        kBack, kNext, kCancel, kPicture, kSeparator, kHiddenC}},
    {"ISU_SELECTMUL", "Select Option", 80, 103, "MS Sans Serif", 676, {
        {IDC_LIST, kListBox, "", 0x50A30069, 100, 32, 205, 117},
        {IDC_SELECT_ALL, kButton, "&Select All", 0x50030000, 198, 153, 50, 14},
        {IDC_CLEAR_ALL, kButton, "&Clear All", 0x50010000, 255, 153, 50, 14},
        kBack, kNext, kCancel,
        {IDC_TEXT1, kStatic, kSelectText710, 0x50020000, 100, 10, 205, 19},
        kPicture, kSeparator, kHiddenC}},
    {"ISU_SHOWEDIT4", "Edit Data", 53, 50, "Helv", 916, {
        {IDC_EDIT1, kEdit, "", 0x50830480, 173, 49, 132, 12},
        {IDC_EDIT2, kEdit, "", 0x50830480, 173, 70, 132, 12},
        {IDC_EDIT3, kEdit, "", 0x50830480, 173, 91, 132, 12},
        {IDC_EDIT4, kEdit, "", 0x50830480, 173, 112, 132, 12},
        {IDC_LABEL1, kStatic, "Host Name ", 0x50020000, 100, 51, 70, 8},
        {IDC_LABEL2, kStatic, "Admin Port", 0x50020000, 100, 72, 70, 8},
        {IDC_LABEL3, kStatic, "Credit Port", 0x50020000, 100, 93, 71, 8},
        {IDC_LABEL4, kStatic, "Coin  port", 0x50020000, 99, 114, 72, 8},
        kBack, kNext, kCancel,
        {IDC_TEXT2, kStatic, kMainText711, 0x50020080, 100, 10, 205, 34},
        {IDC_TEXT3, kStatic, "", 0x50020080, 100, 136, 205, 29},
        kPicture, kSeparator, kHiddenC}},
    {"ISU_SHOWFOLDER", "Select Merchant Store", 79, 99, "MS Sans Serif", 928, {
        {IDC_TEXT2, kStatic, "Type in a new name:", 0x50020000, 99, 46, 203, 8},
        {IDC_EDIT1, kEdit, "", 0x50830000, 99, 58, 206, 12},
        {IDC_TEXT3, kStatic, "Select an item from the list:", 0x50020000, 99, 76, 203, 8},
        {IDC_LIST, kListBox, "", 0x50A30003, 99, 88, 206, 79},
        {IDC_TEXT1, kStatic, "Setup will add program icons to the Program Folder listed below.  You may type a new folder "
                       "name, or select one from the existing Folders list.  Click Next to continue.",
         0x50020000, 99, 10, 206, 33},
        kBack, kNext, kCancel, kPicture, kSeparator, kHiddenC}},
    {"ISU_SHOWINFO", "Information", 110, 79, "MS Sans Serif", 404, {
        {IDC_NEXT, kButton, "&Next >", 0x50030001, 197, 185, 50, 14},
        kCancel,
        {IDC_BACK, kButton, "< &Back", 0x50010000, 147, 185, 50, 14},
        {IDC_EDIT1, kEdit, "", 0x50A21804, 102, 22, 203, 148},
        kPicture, kSeparator,
        {IDC_TEXT2, kStatic, "Text", 0x50020000, 104, 7, 201, 8},
        kHiddenC}},
};

class DialogTemplates : public testing::Test {
protected:
    void SetUp() override {
        dll_ = LoadLibraryA("Wexlib.dll");
        ASSERT_NE(dll_, nullptr) << GetLastError();
    }
    void TearDown() override {
        if (dll_) FreeLibrary(dll_);
    }

    // The stored bytes of one template, found the way a host finds it.
    std::vector<unsigned char> Template(const char* name) {
        HRSRC found = FindResourceExA(dll_, RT_DIALOG, name, kEnglishUs);
        if (!found) {
            ADD_FAILURE() << "no dialog " << name << " in language 1033 (error " << GetLastError() << ")";
            return {};
        }
        HGLOBAL loaded = LoadResource(dll_, found);
        const void* bytes = loaded ? LockResource(loaded) : nullptr;
        EXPECT_NE(bytes, nullptr);
        if (!bytes) return {};
        EXPECT_EQ(reinterpret_cast<uintptr_t>(bytes) % 4, 0u) << "template not DWORD-aligned in memory";
        const auto* first = static_cast<const unsigned char*>(bytes);
        return std::vector<unsigned char>(first, first + SizeofResource(dll_, found));
    }

    HMODULE dll_ = nullptr;
};

BOOL CALLBACK CollectType(HMODULE, LPSTR type, LONG_PTR list) {
    reinterpret_cast<std::set<std::string>*>(list)->insert(
        IS_INTRESOURCE(type) ? "#" + std::to_string(reinterpret_cast<uintptr_t>(type)) : std::string(type));
    return TRUE;
}

BOOL CALLBACK CollectName(HMODULE, LPCSTR, LPSTR name, LONG_PTR list) {
    reinterpret_cast<std::set<std::string>*>(list)->insert(
        IS_INTRESOURCE(name) ? "#" + std::to_string(reinterpret_cast<uintptr_t>(name)) : std::string(name));
    return TRUE;
}

BOOL CALLBACK CollectLanguage(HMODULE, LPCSTR, LPCSTR, WORD language, LONG_PTR list) {
    reinterpret_cast<std::vector<WORD>*>(list)->push_back(language);
    return TRUE;
}

TEST_F(DialogTemplates, DirectoryHoldsTheNineDialogsAndTheVersionBlockOnly) {
    std::set<std::string> types;
    EnumResourceTypesA(dll_, CollectType, reinterpret_cast<LONG_PTR>(&types));
    EXPECT_EQ(types, (std::set<std::string>{"#5", "#16"}));

    std::set<std::string> dialogs, expected;
    for (const DialogRow& d : kDialogs) expected.insert(d.name);
    EnumResourceNamesA(dll_, RT_DIALOG, CollectName, reinterpret_cast<LONG_PTR>(&dialogs));
    EXPECT_EQ(dialogs, expected) << "names are strings in upper case";

    std::set<std::string> versions;
    EnumResourceNamesA(dll_, RT_VERSION, CollectName, reinterpret_cast<LONG_PTR>(&versions));
    EXPECT_EQ(versions, (std::set<std::string>{"#1"}));

    for (const DialogRow& d : kDialogs) {
        SCOPED_TRACE(d.name);
        std::vector<WORD> languages;
        EnumResourceLanguagesA(dll_, RT_DIALOG, d.name, CollectLanguage, reinterpret_cast<LONG_PTR>(&languages));
        EXPECT_EQ(languages, std::vector<WORD>{kEnglishUs});
    }
    std::vector<WORD> languages;
    EnumResourceLanguagesA(dll_, RT_VERSION, MAKEINTRESOURCEA(1), CollectLanguage, reinterpret_cast<LONG_PTR>(&languages));
    EXPECT_EQ(languages, std::vector<WORD>{kEnglishUs});
}

TEST_F(DialogTemplates, EveryFieldMatchesTheTable) {
    for (const DialogRow& want : kDialogs) {
        SCOPED_TRACE(want.name);
        std::vector<unsigned char> bytes = Template(want.name);
        ASSERT_EQ(bytes.size(), want.bytes);

        ParsedDialog got;
        std::string error;
        ASSERT_TRUE(wextest::ParseDialogTemplate(bytes, got, error)) << error;
        EXPECT_FALSE(got.extended);
        EXPECT_EQ(got.style, 0x80C800C0u);
        EXPECT_EQ(got.exStyle, 0u);
        EXPECT_EQ(got.x, want.x);
        EXPECT_EQ(got.y, want.y);
        EXPECT_EQ(got.cx, 315);
        EXPECT_EQ(got.cy, 204);
        EXPECT_TRUE(!got.menu.isOrdinal && got.menu.text.empty()) << "no menu";
        EXPECT_TRUE(!got.windowClass.isOrdinal && got.windowClass.text.empty()) << "default dialog class";
        EXPECT_EQ(got.caption, want.caption);
        EXPECT_EQ(got.pointSize, 8);
        EXPECT_EQ(got.face, want.face);
        EXPECT_EQ(got.end, bytes.size()) << "bytes after the last control";
        ASSERT_EQ(got.controls.size(), want.controls.size());

        for (size_t i = 0; i < want.controls.size(); ++i) {
            const ControlRow& w = want.controls[i];
            const ParsedControl& c = got.controls[i];
            SCOPED_TRACE("control #" + std::to_string(i + 1) + ", id " + std::to_string(w.id));
            EXPECT_EQ(c.offset % 4, 0u);
            EXPECT_EQ(c.id, w.id);
            EXPECT_TRUE(c.windowClass.isOrdinal) << "class stored by name: " << c.windowClass.text;
            EXPECT_EQ(c.windowClass.ordinal, w.classOrdinal);
            EXPECT_FALSE(c.text.isOrdinal);
            EXPECT_EQ(c.text.text, w.text);
            EXPECT_EQ(c.style, w.style) << std::hex << c.style << " against " << w.style;
            EXPECT_EQ(c.exStyle, 0u);
            EXPECT_EQ(c.x, w.x);
            EXPECT_EQ(c.y, w.y);
            EXPECT_EQ(c.cx, w.cx);
            EXPECT_EQ(c.cy, w.cy);
            EXPECT_EQ(c.creationBytes, 0);
        }
    }
}

// Rules that hold across the templates, checked on the stored bytes rather
// than through the table, so that a slip in the table cannot hide one.
TEST_F(DialogTemplates, SharedRulesHoldInTheStoredBytes) {
    for (const DialogRow& d : kDialogs) {
        SCOPED_TRACE(d.name);
        ParsedDialog got;
        std::string error;
        ASSERT_TRUE(wextest::ParseDialogTemplate(Template(d.name), got, error)) << error;
        bool finish = std::strcmp(d.name, "ISU_FINISH") == 0;
        std::set<WORD> ids;
        for (const ParsedControl& c : got.controls) {
            SCOPED_TRACE("id " + std::to_string(c.id));
            EXPECT_TRUE(ids.insert(c.id).second) << "id used twice";
            EXPECT_TRUE(c.style & WS_CHILD);
            EXPECT_FALSE(c.style & WS_DISABLED);
            EXPECT_EQ((c.style & WS_VISIBLE) != 0, c.id != IDC_HIDDEN);
            if (c.id == IDC_HIDDEN) {
                EXPECT_FALSE(c.style & WS_TABSTOP);
                EXPECT_GE(c.y, got.cy) << "the hidden button lies below the client area";
            }
            if (c.id == IDC_NEXT) {
                EXPECT_EQ(c.text.text, finish ? "OK" : "&Next >");
            }
        }
        for (WORD id : {IDC_NEXT, IDC_BACK, IDC_PICTURE, IDC_SEPARATOR}) EXPECT_TRUE(ids.count(id)) << id;
        EXPECT_EQ(ids.count(IDC_HIDDEN), finish ? 0u : 1u);
        EXPECT_EQ(ids.count(IDC_CANCEL), finish ? 0u : 1u);
    }
}

INT_PTR CALLBACK QuietDialog(HWND, UINT message, WPARAM, LPARAM) { return message == WM_INITDIALOG; }

// The platform's dialog manager builds every template into a window with all
// its controls, in the classes the ordinals name.
TEST_F(DialogTemplates, DialogManagerBuildsEveryControl) {
    for (const DialogRow& d : kDialogs) {
        SCOPED_TRACE(d.name);
        std::vector<unsigned char> bytes = Template(d.name);
        ASSERT_FALSE(bytes.empty());
        HWND dialog = CreateDialogIndirectParamA(GetModuleHandleA(nullptr),
                                                 reinterpret_cast<LPCDLGTEMPLATEA>(bytes.data()), nullptr,
                                                 QuietDialog, 0);
        ASSERT_NE(dialog, nullptr) << GetLastError();
        char text[512];
        GetWindowTextA(dialog, text, sizeof text);
        EXPECT_STREQ(text, d.caption);
        for (const ControlRow& w : d.controls) {
            SCOPED_TRACE("id " + std::to_string(w.id));
            HWND control = GetDlgItem(dialog, w.id);
            ASSERT_NE(control, nullptr);
            char className[64];
            GetClassNameA(control, className, sizeof className);
            const char* expected = w.classOrdinal == kButton ? "Button"
                                 : w.classOrdinal == kEdit   ? "Edit"
                                 : w.classOrdinal == kStatic ? "Static"
                                                             : "ListBox";
            EXPECT_STRCASEEQ(className, expected);
            EXPECT_EQ(static_cast<DWORD>(GetWindowLongA(control, GWL_STYLE)) & WS_VISIBLE, w.style & WS_VISIBLE);
            // The edit fields start empty; the other texts reach the controls.
            if (w.classOrdinal != kListBox) {
                GetWindowTextA(control, text, sizeof text);
                EXPECT_STREQ(text, w.text);
            }
        }
        DestroyWindow(dialog);
    }
}

}  // namespace
