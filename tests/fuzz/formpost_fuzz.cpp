// The form post client's text rules against references: the request bytes
// through a sender that takes little at a time (and may stop taking any), the
// reply lines read into a buffer of exactly their size, the whole reply read
// as bytes and as UTF-8 (characters kept whole across the buffer), the form
// encoding decoded back, a UTF-8 path's percent-encoding, the port text and
// the host and status tests.
//
// Input: a control byte, the path, NUL, the body, NUL, then the reply bytes.
// The control byte picks the reply buffer's size, how many bytes each send
// takes, whether the sender stops after as many bytes as the reply holds, and
// how a failed send or an ended receive is reported (0 or -1).
#include <sanitizer/allocator_interface.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "frame/utf.h"
#include "fuzz/fuzzinput.h"
#include "http/formpost.h"

namespace {

using namespace wex::http;
using namespace wexfuzz;

// ---- Request ---------------------------------------------------------------

struct StoppingSender {
    std::size_t chunk;
    std::size_t stopAfter;  // bytes taken before every further call fails
    int failWith;
    std::string bytes;

    int operator()(const char* data, int count) {
        WEX_FUZZ_CHECK(count > 0);
        std::size_t n = std::min(static_cast<std::size_t>(count), chunk);
        n = std::min(n, stopAfter - std::min(stopAfter, bytes.size()));
        if (n == 0) return failWith;
        bytes.append(data, n);
        return static_cast<int>(n);
    }
};

void CheckRequest(std::string_view path, std::string_view body, std::size_t chunk, std::size_t stopAfter,
                  int failWith) {
    WEX_FUZZ_CHECK(PathFits(std::string(path).c_str()) == (path.size() <= 484));
    // Any length goes out whole: a percent-encoded path may pass the limit.
    const std::string head = "POST " + std::string(path) + " HTTP/1.0\nUser-Agent: QuorvelMerchant\n" +
                             "Content-Type: application/x-www-form-urlencoded\nContent-Length: " +
                             std::to_string(body.size()) + "\n\n";
    const std::string whole = head + std::string(body) + "\n";
    std::unique_ptr<char[]> pathText = CopyAtAllocationEnd(path);
    std::unique_ptr<char[]> bodyText = CopyAtAllocationEnd(body);
    StoppingSender sender{chunk, stopAfter, failWith, {}};
    const bool complete = SendRequest(sender, pathText.get(), bodyText.get());
    // What a stopped sender took is the start of the request; only a body
    // that did not go out in full fails it.
    WEX_FUZZ_CHECK(sender.bytes == whole.substr(0, std::min(stopAfter, whole.size())));
    WEX_FUZZ_CHECK(complete == (body.empty() || stopAfter >= head.size() + body.size()));
}

// ---- Reply lines -----------------------------------------------------------

void CheckReplyLines(std::string_view reply, std::size_t size, int endWith) {
    std::size_t next = 0;
    auto receive = [&](char& byte) {
        if (next == reply.size()) return endWith;
        byte = reply[next++];
        return 1;
    };
    // Exactly size bytes: a write or read past them is a heap overflow.
    std::unique_ptr<char[]> buffer(new char[size]);
    std::size_t taken = 0;
    for (;;) {
        std::size_t expected = 0;
        while (expected < size - 1 && taken + expected < reply.size()) {
            if (reply[taken + expected++] == '\n') break;
        }
        const std::size_t n = ReadReplyLine(receive, buffer.get(), size);
        WEX_FUZZ_CHECK(n == expected);
        WEX_FUZZ_CHECK(std::string_view(buffer.get(), n) == reply.substr(taken, n));
        WEX_FUZZ_CHECK(buffer[n] == '\0');
        taken += n;
        if (n == 0) break;
    }
    // A buffer of one byte only ever holds the zero: nothing is taken.
    WEX_FUZZ_CHECK(taken == (size == 1 ? 0 : reply.size()));
}

// ---- The whole reply, as bytes and as UTF-8 ---------------------------------

// Whether the last bytes of text begin a character that more continuation
// bytes would finish, by trying them: every byte UTF-8 allows after the lead,
// then the smallest continuation bytes.
bool FinishableTail(std::string_view text, std::size_t tail) {
    const std::string start(text.substr(text.size() - tail));
    for (int second = 0x80; second <= 0xBF; ++second) {
        std::string finished = start;
        if (tail == 1) finished += static_cast<char>(second);
        for (std::size_t more = 0; more < 3 && !wex::utf::IsUtf8(finished); ++more) finished += '\x80';
        if (wex::utf::IsUtf8(finished) && finished.size() > tail) return true;
        if (tail > 1) break;
    }
    return false;
}

std::size_t ReferenceTail(std::string_view text) {
    for (std::size_t tail = 1; tail <= 3 && tail <= text.size(); ++tail) {
        if (wex::utf::IsUtf8(text.substr(0, text.size() - tail)) && !wex::utf::IsUtf8(text.substr(text.size() - tail)) &&
            FinishableTail(text, tail))
            return tail;
    }
    return 0;
}

void CheckUnfinishedTail(std::string_view text) {
    WEX_FUZZ_CHECK(UnfinishedUtf8Tail(text) == ReferenceTail(text));
    if (wex::utf::IsUtf8(text)) WEX_FUZZ_CHECK(UnfinishedUtf8Tail(text) == 0);
}

void CheckReply(std::string_view reply, std::size_t size, int endWith, bool wholeCharacters) {
    std::size_t next = 0;
    auto receive = [&](char& byte) {
        if (next == reply.size()) return endWith;
        byte = reply[next++];
        return 1;
    };
    std::unique_ptr<char[]> buffer(new char[size]);
    std::string shown;
    auto show = [&](std::string_view line) {
        WEX_FUZZ_CHECK(!line.empty() && line.size() <= size - 1);
        WEX_FUZZ_CHECK(line.data() == buffer.get() && line.data()[line.size()] == '\0');
        // A piece ends at a line feed, where the reply ends, or where the
        // buffer is full; a UTF-8 reader's may end up to three bytes before,
        // at the start of the character that the buffer cut.
        const bool lineEnd = line.back() == '\n' || shown.size() + line.size() == reply.size();
        if (!lineEnd && line.size() < size - 1) {
            WEX_FUZZ_CHECK(wholeCharacters);
            WEX_FUZZ_CHECK(UnfinishedUtf8Tail(reply.substr(shown.size(), size - 1)) == size - 1 - line.size());
        } else {
            WEX_FUZZ_CHECK(lineEnd || line.size() == size - 1);
        }
        shown += line;
    };
    const bool success = ReadReply(receive, buffer.get(), size, wholeCharacters, [](const char*) {}, show);
    // Every byte once, in order (a buffer of one byte never holds any).
    WEX_FUZZ_CHECK(next == (size == 1 ? 0 : reply.size()));
    WEX_FUZZ_CHECK(shown == (size == 1 ? std::string_view() : reply));
    // The status test sees the first line as ReadReplyLine reads it, up to
    // a zero byte.
    std::size_t firstLength = 0;
    while (firstLength < size - 1 && firstLength < reply.size()) {
        if (reply[firstLength++] == '\n') break;
    }
    const std::string first(reply.substr(0, firstLength));
    WEX_FUZZ_CHECK(success == Contains(std::string_view(first.c_str()), " 200 "));
}

// A UTF-8 reply read as UTF-8, with room for a character of four bytes, is
// shown in pieces that are UTF-8 each.
void CheckUtf8Pieces(std::string_view reply, std::size_t size) {
    if (size < 5 || !wex::utf::IsUtf8(reply)) return;
    std::size_t next = 0;
    auto receive = [&](char& byte) {
        if (next == reply.size()) return 0;
        byte = reply[next++];
        return 1;
    };
    std::unique_ptr<char[]> buffer(new char[size]);
    ReadReply(receive, buffer.get(), size, true, [](const char*) {},
              [&](std::string_view line) { WEX_FUZZ_CHECK(wex::utf::IsUtf8(line)); });
}

// ---- A UTF-8 path on the wire -----------------------------------------------

void CheckPathEncoding(std::string_view path) {
    const std::string sent = PercentEncodeNonAscii(path);
    std::size_t at = 0;
    for (char c : path) {
        const unsigned char byte = static_cast<unsigned char>(c);
        if (byte < 0x80) {
            WEX_FUZZ_CHECK(at < sent.size() && sent[at] == c);
            ++at;
            continue;
        }
        static const char kUpper[] = "0123456789ABCDEF";
        WEX_FUZZ_CHECK(at + 3 <= sent.size());
        WEX_FUZZ_CHECK(sent.compare(at, 3, std::string{'%', kUpper[byte >> 4], kUpper[byte & 15]}) == 0);
        at += 3;
    }
    WEX_FUZZ_CHECK(at == sent.size());
    for (char c : sent) WEX_FUZZ_CHECK(static_cast<unsigned char>(c) < 0x80);
}

// ---- Form encoding ---------------------------------------------------------

bool Kept(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '*' || c == '-' ||
           c == '.' || c == '_';
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;  // upper-case digits are not the encoding's
}

void CheckEncoding(std::string_view text) {
    std::unique_ptr<char[]> encoded = EncodeFormText(text);
    WEX_FUZZ_CHECK(encoded != nullptr);
    WEX_FUZZ_CHECK(__sanitizer_get_allocated_size(encoded.get()) == 3 * (text.size() + 1));
    const std::string_view out(encoded.get());
    WEX_FUZZ_CHECK(out.size() <= 3 * text.size());
    std::string decoded;
    for (std::size_t i = 0; i < out.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(out[i]);
        if (c == '+') {
            decoded += ' ';
        } else if (c == '%') {
            WEX_FUZZ_CHECK(i + 2 < out.size() && HexValue(out[i + 1]) >= 0 && HexValue(out[i + 2]) >= 0);
            const unsigned char byte = static_cast<unsigned char>(HexValue(out[i + 1]) * 16 + HexValue(out[i + 2]));
            // A byte that may stand as itself is never escaped.
            WEX_FUZZ_CHECK(!Kept(byte) && byte != ' ');
            decoded += static_cast<char>(byte);
            i += 2;
        } else {
            WEX_FUZZ_CHECK(Kept(c));
            decoded += static_cast<char>(c);
        }
    }
    WEX_FUZZ_CHECK(decoded == text);
}

// ---- Port, host and status -------------------------------------------------

// atoi's reading, cut to 16 bits. 10^16 is a multiple of 2^16, so only the
// last 16 digits count, and those fit strtoull.
unsigned short ReferencePort(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    std::size_t end = i;
    while (end < text.size() && text[end] >= '0' && text[end] <= '9') ++end;
    const std::size_t first = end - i > 16 ? end - 16 : i;
    const unsigned long long low = std::strtoull(std::string(text.substr(first, end - first)).c_str(), nullptr, 10);
    const unsigned value = static_cast<unsigned>(low % 65536);
    return static_cast<unsigned short>(negative ? (65536 - value) % 65536 : value);
}

void CheckPort(std::string_view text) {
    std::unique_ptr<char[]> copy = CopyAtAllocationEnd(text);
    const unsigned short port = PortFromText(copy.get());
    WEX_FUZZ_CHECK(port == ReferencePort(text));
    // Where atoi itself cannot overflow, it must agree as well.
    std::size_t digits = 0;
    for (char c : text) digits += c >= '0' && c <= '9';
    if (digits <= 9) WEX_FUZZ_CHECK(port == static_cast<unsigned short>(std::atoi(copy.get())));
}

void CheckHostAndStatus(std::string_view text) {
    std::unique_ptr<char[]> copy = CopyAtAllocationEnd(text);
    WEX_FUZZ_CHECK(IsDottedHost(copy.get()) == (!text.empty() && text.back() >= '0' && text.back() <= '9'));
    WEX_FUZZ_CHECK(IsSuccessStatus(copy.get()) == Contains(text, " 200 "));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput input(data, size);
    const unsigned char control = input.Control();
    const std::string_view path = input.Field();
    const std::string_view body = input.Field();
    const std::string_view reply = input.Rest();
    static const std::size_t kBufferSizes[] = {kTransferBufferSize, 1, 2, 3, 7, 64, 499, 501};
    static const std::size_t kChunks[] = {std::size_t(1) << 20, 1, 2, 3, 7, 64, 499, 500};
    const int failWith = (control & 0x80) ? -1 : 0;
    // No errno left over from elsewhere: an ended reply then reports nothing.
    errno = 0;

    CheckRequest(path, body, kChunks[(control >> 3) & 7], (control & 0x40) ? reply.size() : SIZE_MAX, failWith);
    CheckReplyLines(reply, kBufferSizes[control & 7], failWith);
    CheckReply(reply, kBufferSizes[control & 7], failWith, false);
    CheckReply(reply, kBufferSizes[control & 7], failWith, true);
    CheckUtf8Pieces(reply, kBufferSizes[control & 7]);
    CheckUnfinishedTail(reply);
    CheckUnfinishedTail(path);
    CheckPathEncoding(path);
    CheckEncoding(reply);
    CheckEncoding(path);
    CheckPort(path);
    CheckPort(body);
    CheckHostAndStatus(path);
    CheckHostAndStatus(body);
    return 0;
}
