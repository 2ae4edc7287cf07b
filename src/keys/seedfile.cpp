#include "keys/seedfile.h"

#include <cstdlib>
#include <vector>

#include "fileio/textfile.h"
#include "fileio/textstream.h"
#include "frame/encoding.h"

namespace wex::keys {
namespace {

// Names are made in the same way on every platform, so the library keeps its
// own counter rather than the C runtime's temporary-name function.
constexpr std::size_t kMaxPath = 260;
constexpr unsigned kMaxNameTries = 32767;
constexpr char kSeedPrefix[] = "seed";
// What a name may add to the directory and the prefix: a separator, the
// counter's digits and room to spare, as the runtime's own function reserves.
constexpr std::size_t kSeedNameReserve = 12;
unsigned g_seedCounter = 0;
// What the creator may do with the seed file; it is never run.
constexpr DWORD kCreatorAccess = FILE_GENERIC_READ | FILE_GENERIC_WRITE | DELETE;

// Names are texts in the call's encoding (frame/encoding.h).
bool IsDirectory(const std::string& path) {
    DWORD attributes = GetFileAttributesW(Widen(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::string SeedDirectory(const char* preferredDir) {
    if (const wchar_t* tmp = _wgetenv(L"TMP")) {
        std::string dir = Narrow(tmp);
        if (IsDirectory(dir)) return dir;
        if (dir.find('"') != std::string::npos) {
            std::string unquoted;
            for (char c : dir) {
                if (c != '"') unquoted.push_back(c);
            }
            if (IsDirectory(unquoted)) return unquoted;
        }
    }
    if (preferredDir && IsDirectory(preferredDir)) return preferredDir;
    if (IsDirectory("\\")) return "\\";
    wchar_t current[MAX_PATH];
    DWORD length = GetCurrentDirectoryW(MAX_PATH, current);
    return length > 0 && length < MAX_PATH ? Narrow(std::wstring_view(current, length)) : std::string(".");
}

// A security descriptor whose DACL grants the user of the calling thread's
// token (the one a new file is created for) what the seed's use needs (write
// it, the generator reads it, delete it), and nobody else anything.
// Protected, so that no entry that the folder passes on to new files is
// merged in. Filled in place: the parts point at each other.
class CreatorOnly {
public:
    CreatorOnly() = default;
    CreatorOnly(const CreatorOnly&) = delete;
    CreatorOnly& operator=(const CreatorOnly&) = delete;

    bool Build() {
        HANDLE opened = nullptr;
        if (!OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &opened)) {
            if (GetLastError() != ERROR_NO_TOKEN) return false;
            if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &opened)) return false;
        }
        const UniqueHandle token(opened);
        DWORD size = 0;
        GetTokenInformation(token.Get(), TokenUser, nullptr, 0, &size);
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || size == 0) return false;
        user_.assign(size, 0);
        if (!GetTokenInformation(token.Get(), TokenUser, user_.data(), size, &size)) return false;
        PSID sid = reinterpret_cast<TOKEN_USER*>(user_.data())->User.Sid;
        if (!IsValidSid(sid)) return false;

        acl_.assign(sizeof(ACL) + sizeof(ACCESS_ALLOWED_ACE) - sizeof(DWORD) + GetLengthSid(sid), 0);
        ACL* acl = reinterpret_cast<ACL*>(acl_.data());
        if (!InitializeAcl(acl, static_cast<DWORD>(acl_.size()), ACL_REVISION)) return false;
        if (!AddAccessAllowedAce(acl, ACL_REVISION, kCreatorAccess, sid)) return false;
        if (!InitializeSecurityDescriptor(&descriptor_, SECURITY_DESCRIPTOR_REVISION)) return false;
        if (!SetSecurityDescriptorDacl(&descriptor_, TRUE, acl, FALSE)) return false;
        if (!SetSecurityDescriptorControl(&descriptor_, SE_DACL_PROTECTED, SE_DACL_PROTECTED)) return false;
        attributes_ = {sizeof attributes_, &descriptor_, FALSE};
        return true;
    }

    SECURITY_ATTRIBUTES* Attributes() { return &attributes_; }

private:
    std::vector<unsigned char> user_;  // the TOKEN_USER with the SID
    std::vector<unsigned char> acl_;
    SECURITY_DESCRIPTOR descriptor_{};
    SECURITY_ATTRIBUTES attributes_{};
};

// Whether something is at name after a create failed for another reason
// than a name collision: a file being deleted, or one this user may not see,
// is still there; a folder that refuses new files has nothing at the name.
bool NameTaken(const std::string& name) {
    if (GetFileAttributesW(Widen(name).c_str()) != INVALID_FILE_ATTRIBUTES) return true;
    const DWORD error = GetLastError();
    return error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND;
}

}  // namespace

SeedOutcome CreateSeedFile(const char* preferredDir, const std::function<bool(const std::string& name)>& fits,
                           SeedFile& seed) {
    std::string dir = SeedDirectory(preferredDir);
    if (CallLength(dir) + (sizeof kSeedPrefix - 1) + kSeedNameReserve > kMaxPath) return SeedOutcome::Failed;
    if (dir.empty() || (dir.back() != '\\' && dir.back() != '/')) dir += '\\';
    dir += kSeedPrefix;
    CreatorOnly security;
    if (!security.Build()) return SeedOutcome::Failed;
    for (unsigned tries = 0; tries < kMaxNameTries; ++tries) {
        std::string candidate = dir + std::to_string(++g_seedCounter);
        if (!fits(candidate)) return SeedOutcome::DoesNotFit;
        UniqueFileHandle file(CreateFileW(Widen(candidate).c_str(), GENERIC_WRITE, 0, security.Attributes(),
                                          CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (file) {
            seed.file = std::move(file);
            seed.name = std::move(candidate);
            return SeedOutcome::Created;
        }
        const DWORD error = GetLastError();
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS && !NameTaken(candidate))
            return SeedOutcome::Failed;
    }
    return SeedOutcome::Failed;
}

bool WriteSeedText(SeedFile& seed, const char* seedText) {
    fileio::FileSink sink(seed.file.Get());
    fileio::TextWriter out(sink);
    out.Write(seedText);
    const bool written = out.Flush();
    seed.file.Reset();
    return written;
}

}  // namespace wex::keys
