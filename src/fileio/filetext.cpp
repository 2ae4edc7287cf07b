#include "fileio/filetext.h"

#include "frame/diagnostics.h"
#include "frame/encoding.h"
#include "frame/utf.h"

namespace wex::fileio {

FileText ForFiles(std::string_view callText) {
    if (CurrentCallEncoding() == CallEncoding::Ansi) return FileText(callText);
    // A W export's text is WTF-8: UTF-8 unless it holds a lone surrogate.
    std::optional<std::string> utf8;
    if (utf::IsUtf8(callText)) utf8.emplace(callText);
    return FileText(AnsiExactly(Widen(callText)), std::move(utf8));
}

std::string FromFile(std::string_view fileText, FileEncoding encoding) {
    if (CurrentCallEncoding() == CallEncoding::Ansi || encoding == FileEncoding::Utf8) return std::string(fileText);
    const std::wstring wide = FromAnsi(fileText);
    return utf::Utf16ToWtf8(std::u16string_view(reinterpret_cast<const char16_t*>(wide.data()), wide.size()));
}

FileEncoding EncodingOfOpen(HANDLE file) {
    char first[kUtf8Mark.size()];
    DWORD read = 0;
    OVERLAPPED at{};
    const bool marked = ReadFile(file, first, sizeof first, &read, &at) && read == sizeof first &&
                        std::string_view(first, read) == kUtf8Mark;
    LARGE_INTEGER start{};
    SetFilePointerEx(file, start, nullptr, FILE_BEGIN);
    return marked ? FileEncoding::Utf8 : FileEncoding::Ansi;
}

void ReportRefusal(EditRefusal refusal, const char* shownPath) {
    switch (refusal) {
    case EditRefusal::NotInAnsiCodePage:
        ErrorLine("File %s left unchanged: the ANSI code page cannot hold the text given exactly.\n", shownPath);
        break;
    case EditRefusal::NotInUtf8:
        ErrorLine("File %s left unchanged: the text given holds a lone surrogate, which UTF-8 cannot hold.\n",
                  shownPath);
        break;
    case EditRefusal::NothingToChange:
        break;
    case EditRefusal::LoneCr:
        ErrorLine("File %s left unchanged: the edit would remove a line that ends in a lone carriage return.\n",
                  shownPath);
        break;
    }
}

}  // namespace wex::fileio
