#include "templatereader.h"

namespace wextest {
namespace {

class Reader {
public:
    Reader(const std::vector<unsigned char>& bytes, size_t begin, size_t end)
        : bytes_(bytes), pos_(begin), end_(end) {}

    bool Word(uint16_t& w) {
        if (pos_ > end_ || end_ - pos_ < 2) return Fail("word");
        w = static_cast<uint16_t>(bytes_[pos_] | bytes_[pos_ + 1] << 8);
        pos_ += 2;
        return true;
    }
    bool Short(int16_t& s) {
        uint16_t w = 0;
        if (!Word(w)) return false;
        s = static_cast<int16_t>(w);
        return true;
    }
    bool Dword(uint32_t& d) {
        uint16_t lo = 0, hi = 0;
        if (!Word(lo) || !Word(hi)) return false;
        d = lo | static_cast<uint32_t>(hi) << 16;
        return true;
    }
    bool String(std::string& s) {
        s.clear();
        for (uint16_t c = 0; Word(c);) {
            if (c == 0) return true;
            s += c < 0x80 ? static_cast<char>(c) : '?';
        }
        return false;
    }
    bool SzOrOrd(SzOrOrdinal& f) {
        uint16_t first = 0;
        if (!Word(first)) return false;
        if (first == 0xFFFF) {
            f.isOrdinal = true;
            return Word(f.ordinal);
        }
        pos_ -= 2;
        f.isOrdinal = false;
        return String(f.text);
    }
    bool Align4(size_t base) {
        while ((pos_ - base) % 4) {
            if (pos_ >= end_) return Fail("padding");
            ++pos_;
        }
        return true;
    }
    bool Skip(size_t n) {
        if (pos_ > end_ || end_ - pos_ < n) return Fail("data");
        pos_ += n;
        return true;
    }
    size_t Pos() const { return pos_; }
    const std::string& Error() const { return error_; }

private:
    bool Fail(const char* what) {
        error_ = std::string("template ends inside a ") + what + " at offset " + std::to_string(pos_);
        return false;
    }

    const std::vector<unsigned char>& bytes_;
    size_t pos_, end_;
    std::string error_;
};

const uint32_t kDsSetFont = 0x40;

bool ParseVersionNode(const std::vector<unsigned char>& bytes, size_t begin, size_t limit, VersionNode& node,
                      size_t& next, std::string& error) {
    Reader r(bytes, begin, limit);
    uint16_t length = 0, valueLength = 0;
    if (!r.Word(length) || !r.Word(valueLength) || !r.Word(node.type) || !r.String(node.key)) {
        error = "version node header: " + r.Error();
        return false;
    }
    if (length < 6 || begin + length > limit) {
        error = "version node \"" + node.key + "\" has length " + std::to_string(length) + " beyond its parent";
        return false;
    }
    size_t end = begin + length;
    Reader body(bytes, r.Pos(), end);
    if (!body.Align4(0)) {
        error = "version node \"" + node.key + "\": " + body.Error();
        return false;
    }
    // A text value's length counts UTF-16 characters, a binary one bytes.
    size_t valueBytes = node.type == 1 ? 2u * valueLength : valueLength;
    size_t valueStart = body.Pos();
    if (!body.Skip(valueBytes)) {
        error = "value of \"" + node.key + "\" runs past its node";
        return false;
    }
    node.value.assign(bytes.begin() + valueStart, bytes.begin() + valueStart + valueBytes);
    if (node.type == 1) {
        Reader text(bytes, valueStart, valueStart + valueBytes);
        if (!text.String(node.text)) node.text.clear();
    }
    size_t child = (body.Pos() + 3) & ~size_t(3);
    while (child < end) {
        VersionNode c;
        size_t after = 0;
        if (!ParseVersionNode(bytes, child, end, c, after, error)) return false;
        node.children.push_back(c);
        child = (after + 3) & ~size_t(3);
    }
    next = end;
    return true;
}

}  // namespace

bool ParseDialogTemplate(const std::vector<unsigned char>& bytes, ParsedDialog& out, std::string& error) {
    out = ParsedDialog();
    Reader r(bytes, 0, bytes.size());
    uint16_t count = 0;
    if (bytes.size() >= 4 && bytes[0] == 1 && bytes[1] == 0 && bytes[2] == 0xFF && bytes[3] == 0xFF) {
        out.extended = true;
        error = "extended template";
        return false;
    }
    if (!r.Dword(out.style) || !r.Dword(out.exStyle) || !r.Word(count) || !r.Short(out.x) || !r.Short(out.y) ||
        !r.Short(out.cx) || !r.Short(out.cy) || !r.SzOrOrd(out.menu) || !r.SzOrOrd(out.windowClass) ||
        !r.String(out.caption)) {
        error = r.Error();
        return false;
    }
    if ((out.style & kDsSetFont) && (!r.Word(out.pointSize) || !r.String(out.face))) {
        error = r.Error();
        return false;
    }
    for (uint16_t i = 0; i < count; ++i) {
        ParsedControl c;
        if (!r.Align4(0)) break;
        c.offset = r.Pos();
        if (!r.Dword(c.style) || !r.Dword(c.exStyle) || !r.Short(c.x) || !r.Short(c.y) || !r.Short(c.cx) ||
            !r.Short(c.cy) || !r.Word(c.id) || !r.SzOrOrd(c.windowClass) || !r.SzOrOrd(c.text) ||
            !r.Word(c.creationBytes) || !r.Skip(c.creationBytes)) {
            break;
        }
        out.controls.push_back(c);
    }
    if (out.controls.size() != count) {
        error = "control #" + std::to_string(out.controls.size() + 1) + " of " + std::to_string(count) + ": " +
                r.Error();
        return false;
    }
    out.end = r.Pos();
    return true;
}

bool ParseVersionResource(const std::vector<unsigned char>& bytes, VersionNode& root, std::string& error) {
    size_t next = 0;
    root = VersionNode();
    return ParseVersionNode(bytes, 0, bytes.size(), root, next, error);
}

}  // namespace wextest
