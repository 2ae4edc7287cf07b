// The shipped 32-bit Wexlib.dll's resource directory, read with objdump
// (natively: the Windows-side tests run the 64-bit build): the nine dialog
// names with their sizes and the version block, all in language 1033.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <regex>
#include <string>

namespace {

std::string ResourceDump() {
    std::string command = "i686-w64-mingw32-objdump -p '" WEX_SHIPPED_DLL "' 2>&1";
    std::string out;
    if (FILE* p = popen(command.c_str(), "r")) {
        char chunk[4096];
        for (size_t n; (n = fread(chunk, 1, sizeof chunk, p)) > 0;) out.append(chunk, n);
        pclose(p);
    }
    size_t start = out.find("The .rsrc Resource Directory section");
    return start == std::string::npos ? std::string() : out.substr(start);
}

// "type/name/language" -> data size, from objdump's tree of the directory.
std::map<std::string, unsigned long> Leaves(const std::string& dump) {
    std::map<std::string, unsigned long> leaves;
    std::regex entry(R"(Entry: (?:ID: 0x([0-9a-fA-F]+)|name: \[[^\]]*\]: (\S+)), Value)");
    std::regex leaf(R"(Leaf: Addr: 0x[0-9a-fA-F]+, Size: 0x([0-9a-fA-F]+))");
    // An entry's level in the tree shows in its indentation: "018   Entry"
    // for a type, two more blanks for a name, two more for a language.
    std::string path[3];
    for (size_t begin = 0, end; begin < dump.size(); begin = end + 1) {
        end = dump.find('\n', begin);
        if (end == std::string::npos) end = dump.size();
        std::string line = dump.substr(begin, end - begin);
        std::smatch m;
        if (std::regex_search(line, m, entry)) {
            size_t blanks = line.find("Entry") - line.find(' ');
            size_t depth = (blanks - 3) / 2;
            if (blanks < 3 || depth > 2) continue;
            path[depth] = m[1].matched ? std::to_string(std::stoul(m[1], nullptr, 16)) : std::string(m[2]);
        } else if (std::regex_search(line, m, leaf)) {
            leaves[path[0] + "/" + path[1] + "/" + path[2]] = std::stoul(m[1], nullptr, 16);
        }
    }
    return leaves;
}

TEST(ShippedResources, NineDialogsAndTheVersionBlockInLanguage1033) {
    std::string dump = ResourceDump();
    ASSERT_FALSE(dump.empty()) << "no resource directory";
    std::map<std::string, unsigned long> leaves = Leaves(dump);
    // The version block's size depends on its copyright text only.
    ASSERT_EQ(leaves.count("16/1/1033"), 1u);
    leaves.erase("16/1/1033");
    const std::map<std::string, unsigned long> dialogs = {
        {"5/ISU_ASKOPTION/1033", 916}, {"5/ISU_FINISH/1033", 808},     {"5/ISU_MULEDIT/1033", 656},
        {"5/ISU_PASSWORD/1033", 852},  {"5/ISU_SELECT/1033", 680},     {"5/ISU_SELECTMUL/1033", 676},
        {"5/ISU_SHOWEDIT4/1033", 916}, {"5/ISU_SHOWFOLDER/1033", 928}, {"5/ISU_SHOWINFO/1033", 404},
    };
    EXPECT_EQ(leaves, dialogs);
}

}  // namespace
