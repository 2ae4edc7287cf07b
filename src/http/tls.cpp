// The chain parameters' retrieval timeout is one of the fields that older
// headers leave out.
#define CERT_CHAIN_PARA_HAS_EXTRA_FIELDS
#include "http/tls.h"

#include <schannel.h>
#include <wincrypt.h>

#include <cstdio>
#include <cstring>

namespace wex::http {
namespace {

// Offered and accepted: TLS 1.2 and 1.3. Nothing older is ever negotiated.
constexpr DWORD kClientProtocols = SP_PROT_TLS1_2_CLIENT | SP_PROT_TLS1_3_CLIENT;

// The server's certificate is checked here, not by Schannel, so that each
// fault can be named and so that nothing is sent before the check.
constexpr ULONG kContextRequest = ISC_REQ_SEQUENCE_DETECT | ISC_REQ_REPLAY_DETECT | ISC_REQ_CONFIDENTIALITY |
                                  ISC_REQ_ALLOCATE_MEMORY | ISC_REQ_STREAM | ISC_REQ_EXTENDED_ERROR |
                                  ISC_REQ_MANUAL_CRED_VALIDATION;

// A handshake is a few kilobytes; one record is at most 16 KiB plus its
// frame. A server that sends more than this without completing is refused.
constexpr std::size_t kHandshakeBufferSize = 64 * 1024;

// The content types of the records that may open a server's answer (the
// record header is in clear, and so are the first handshake messages).
constexpr unsigned char kAlertRecord = 21;
constexpr unsigned char kHandshakeRecord = 22;

// SECURITY_FLAG_IGNORE_REVOCATION (of <wininet.h>): revocation is judged from
// the chain's trust status alone. Wine's policy reports an unknown revocation
// status before a wrong name otherwise, which would hide the name fault.
constexpr DWORD kPolicyIgnoresRevocation = 0x00000080;

std::string Hex(unsigned long value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08lx", value);
    return text;
}

// When bytes open with an alert record (still in clear during the
// handshake), its description; else -1.
int AlertDescription(const char* bytes, std::size_t count) {
    const unsigned char* b = reinterpret_cast<const unsigned char*>(bytes);
    if (count < 7 || b[0] != kAlertRecord || b[3] != 0 || b[4] != 2) return -1;
    return b[6];
}

std::string AlertFault(int description) {
    switch (description) {
    case 70: return "no protocol version in common: the server takes none of TLS 1.2 and newer (its alert 70)";
    case 40: return "the server refused the handshake: no cipher or protocol in common (its alert 40)";
    case 71: return "the server asks for stronger security than offered (its alert 71)";
    case 112: return "the server does not know the host name (its alert 112)";
    default: return "the server refused the handshake (its alert " + std::to_string(description) + ")";
    }
}

// When bytes open with the server's hello (in clear), the protocol version
// it chose; else -1.
int ServerHelloVersion(const char* bytes, std::size_t count) {
    const unsigned char* b = reinterpret_cast<const unsigned char*>(bytes);
    if (count < 11 || b[0] != kHandshakeRecord || b[5] != 2) return -1;
    return b[9] << 8 | b[10];
}

std::string VersionName(int version) {
    switch (version) {
    case 0x0300: return "SSL 3.0";
    case 0x0301: return "TLS 1.0";
    case 0x0302: return "TLS 1.1";
    default: return Hex(static_cast<unsigned long>(version));
    }
}

std::string HandshakeFault(SECURITY_STATUS status) {
    switch (status) {
    case SEC_E_ALGORITHM_MISMATCH:
    case SEC_E_UNSUPPORTED_FUNCTION:
        return "no protocol version or cipher in common (" + Hex(status) + ")";
    case SEC_E_ILLEGAL_MESSAGE:
    case SEC_E_INVALID_TOKEN:
    case SEC_E_DECRYPT_FAILURE:
    case SEC_E_MESSAGE_ALTERED:
        return "the server's answer is not TLS, or it refused the handshake (" + Hex(status) + ")";
    default:
        return "the handshake failed (" + Hex(status) + ")";
    }
}

// Frees what the security package allocated for an output token.
struct OutputToken {
    SecBuffer buffer{0, SECBUFFER_TOKEN, nullptr};
    ~OutputToken() {
        if (buffer.pvBuffer) FreeContextBuffer(buffer.pvBuffer);
    }
};

struct ChainTraits {
    using Handle = PCCERT_CHAIN_CONTEXT;
    static Handle Empty() noexcept { return nullptr; }
    static void Close(Handle h) noexcept { CertFreeCertificateChain(h); }
};
struct CertificateTraits {
    using Handle = PCCERT_CONTEXT;
    static Handle Empty() noexcept { return nullptr; }
    static void Close(Handle h) noexcept { CertFreeCertificateContext(h); }
};

// Bits of a chain's trust status that are never a fault on their own: that
// revocation could not be found out (no revocation server reachable, no list
// published), and that a certificate's validity does not lie within its
// issuer's (which nothing requires; the platform has given up the bit).
constexpr DWORD kNotFaults =
    CERT_TRUST_REVOCATION_STATUS_UNKNOWN | CERT_TRUST_IS_OFFLINE_REVOCATION | CERT_TRUST_IS_NOT_TIME_NESTED;

// True when some certificate of the chain is past its end (rather than
// before its start).
bool SomeCertificateExpired(PCCERT_CHAIN_CONTEXT chain) {
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    for (DWORD c = 0; c < chain->cChain; ++c) {
        const CERT_SIMPLE_CHAIN* simple = chain->rgpChain[c];
        for (DWORD e = 0; e < simple->cElement; ++e) {
            const CERT_INFO* info = simple->rgpElement[e]->pCertContext->pCertInfo;
            if (CompareFileTime(&now, &info->NotAfter) > 0) return true;
        }
    }
    return false;
}

std::string TrustFault(PCCERT_CHAIN_CONTEXT chain) {
    const DWORD status = chain->TrustStatus.dwErrorStatus & ~kNotFaults;
    if (status == CERT_TRUST_NO_ERROR) return "";
    if (status & CERT_TRUST_IS_REVOKED) return "revoked";
    if (status & CERT_TRUST_IS_PARTIAL_CHAIN) return "unknown issuer";
    if (status & CERT_TRUST_IS_UNTRUSTED_ROOT) return "untrusted root";
    if (status & CERT_TRUST_IS_NOT_TIME_VALID) return SomeCertificateExpired(chain) ? "expired" : "not yet valid";
    if (status & CERT_TRUST_IS_NOT_SIGNATURE_VALID) return "bad signature";
    if (status & CERT_TRUST_IS_NOT_VALID_FOR_USAGE) return "not for server authentication";
    return "invalid chain (trust status " + Hex(status) + ")";
}

std::string PolicyFault(DWORD error) {
    switch (static_cast<HRESULT>(error)) {
    case 0: return "";
    case CERT_E_CN_NO_MATCH: return "name mismatch";
    case CRYPT_E_REVOKED: return "revoked";
    case CERT_E_UNTRUSTEDROOT: return "untrusted root";
    case CERT_E_CHAINING: return "unknown issuer";
    case CERT_E_EXPIRED: return "expired";
    case CERT_E_WRONG_USAGE: return "not for server authentication";
    default: return "refused by the server authentication policy (" + Hex(error) + ")";
    }
}

std::wstring Wide(const char* text) {
    const int length = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    if (length <= 0) return std::wstring();
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text, -1, &wide[0], length);
    wide.resize(static_cast<std::size_t>(length - 1));
    return wide;
}

}  // namespace

TlsSession::~TlsSession() {
    if (established_) {
        // The closing alert, so that the server sees a clean end; whether it
        // gets out cannot change the result any more.
        DWORD token = SCHANNEL_SHUTDOWN;
        SecBuffer control{sizeof token, SECBUFFER_TOKEN, &token};
        SecBufferDesc controlDesc{SECBUFFER_VERSION, 1, &control};
        if (ApplyControlToken(&context_, &controlDesc) == SEC_E_OK) {
            OutputToken out;
            SecBufferDesc outDesc{SECBUFFER_VERSION, 1, &out.buffer};
            ULONG attributes = 0;
            const SECURITY_STATUS status = InitializeSecurityContextA(
                &credentials_, &context_, nullptr, kContextRequest, 0, 0, nullptr, 0, nullptr, &outDesc, &attributes,
                nullptr);
            if ((status == SEC_E_OK || status == SEC_I_CONTEXT_EXPIRED) && out.buffer.pvBuffer)
                SendAll(static_cast<const char*>(out.buffer.pvBuffer), static_cast<int>(out.buffer.cbBuffer));
        }
    }
    if (haveContext_) DeleteSecurityContext(&context_);
    if (haveCredentials_) FreeCredentialsHandle(&credentials_);
}

bool TlsSession::SendAll(const char* bytes, int count) {
    for (int sent = 0; sent < count;) {
        const int n = connection_.Send(bytes + sent, count - sent);
        if (n <= 0) return false;
        sent += n;
    }
    return true;
}

bool TlsSession::ReceiveMore(int& received) {
    if (held_ == encrypted_.size()) {
        received = -1;
        return false;
    }
    received = connection_.Receive(encrypted_.data() + held_, static_cast<int>(encrypted_.size() - held_));
    if (received <= 0) return false;
    held_ += static_cast<std::size_t>(received);
    return true;
}

TlsSession::Handshake TlsSession::Open(const char* host, std::string& reason) {
    SCHANNEL_CRED settings;
    std::memset(&settings, 0, sizeof settings);
    settings.dwVersion = SCHANNEL_CRED_VERSION;
    settings.grbitEnabledProtocols = kClientProtocols;
    // No client certificate is offered, and the server's is checked by
    // CertificateFault, not by Schannel.
    settings.dwFlags = SCH_CRED_NO_DEFAULT_CREDS | SCH_CRED_MANUAL_CRED_VALIDATION;
    TimeStamp expiry;
    const SECURITY_STATUS acquired =
        AcquireCredentialsHandleA(nullptr, const_cast<char*>(UNISP_NAME_A), SECPKG_CRED_OUTBOUND, nullptr, &settings,
                                  nullptr, nullptr, &credentials_, &expiry);
    if (acquired != SEC_E_OK) {
        reason = "no TLS 1.2 credentials from the security package (" + Hex(acquired) + ")";
        return Handshake::Failed;
    }
    haveCredentials_ = true;
    encrypted_.assign(kHandshakeBufferSize, '\0');
    const Handshake done = Negotiate(host, reason);
    if (done != Handshake::Done) return done;

    // Both settings above allow nothing older than TLS 1.2; the session
    // that came about is held to the same, whatever the package did.
    SecPkgContext_ConnectionInfo info;
    std::memset(&info, 0, sizeof info);
    SECURITY_STATUS status = QueryContextAttributesA(&context_, SECPKG_ATTR_CONNECTION_INFO, &info);
    if (status != SEC_E_OK) {
        reason = "the session cannot be queried (" + Hex(status) + ")";
        return Handshake::Failed;
    }
    if ((info.dwProtocol & kClientProtocols) == 0) {
        reason = "the server negotiated a protocol older than TLS 1.2 (" + Hex(info.dwProtocol) + ")";
        return Handshake::Failed;
    }
    status = QueryContextAttributesA(&context_, SECPKG_ATTR_STREAM_SIZES, &sizes_);
    if (status != SEC_E_OK) {
        reason = "the session cannot be queried (" + Hex(status) + ")";
        return Handshake::Failed;
    }
    // Room for a whole record; bytes of the first records may already be
    // held (they came with the last handshake message).
    const std::size_t record = sizes_.cbHeader + sizes_.cbMaximumMessage + sizes_.cbTrailer;
    if (encrypted_.size() < record) encrypted_.resize(record);
    established_ = true;
    return Handshake::Done;
}

TlsSession::Handshake TlsSession::Negotiate(const char* host, std::string& reason) {
    auto failed = [&](std::string why) {
        reason = std::move(why);
        return Handshake::Failed;
    };
    // What a failed read means: the limit passed, the server closed, or the
    // connection broke.
    auto readFailed = [&](int received) {
        if (connection_.TimedOut()) return Handshake::TimedOut;
        if (received == 0) return failed("the server closed the connection during the handshake");
        if (held_ == encrypted_.size()) return failed("the server's handshake messages are too long");
        return failed("the connection broke during the handshake (error " + std::to_string(WSAGetLastError()) + ")");
    };
    char* target = const_cast<char*>(host);
    bool first = true;
    bool needMore = false;
    int retries = 0;
    std::size_t answered = 0;  // bytes the server has sent so far
    for (;;) {
        if (needMore) {
            int received = 0;
            const bool opening = answered == 0;
            if (!ReceiveMore(received)) return readFailed(received);
            answered += static_cast<std::size_t>(received);
            // A server that answers with anything but a handshake or an
            // alert record does not speak TLS: no need to wait for more.
            const unsigned char type = static_cast<unsigned char>(encrypted_[0]);
            if (opening && type != kHandshakeRecord && type != kAlertRecord)
                return failed("the server's answer is not TLS");
        }
        SecBuffer in[2] = {{static_cast<unsigned long>(held_), SECBUFFER_TOKEN, encrypted_.data()},
                           {0, SECBUFFER_EMPTY, nullptr}};
        SecBufferDesc inDesc{SECBUFFER_VERSION, 2, in};
        OutputToken out;
        SecBufferDesc outDesc{SECBUFFER_VERSION, 1, &out.buffer};
        ULONG attributes = 0;
        TimeStamp expiry;
        const SECURITY_STATUS status = InitializeSecurityContextA(
            &credentials_, first ? nullptr : &context_, target, kContextRequest, 0, 0, first ? nullptr : &inDesc, 0,
            first ? &context_ : nullptr, &outDesc, &attributes, &expiry);
        if (first && (status == SEC_I_CONTINUE_NEEDED || status == SEC_E_OK)) haveContext_ = true;
        first = false;
        if (status == SEC_E_INCOMPLETE_MESSAGE) {
            needMore = true;
            continue;
        }
        // A token goes out on success, and also with some failures (the
        // alert that tells the server why).
        if (out.buffer.pvBuffer && out.buffer.cbBuffer > 0 &&
            !SendAll(static_cast<const char*>(out.buffer.pvBuffer), static_cast<int>(out.buffer.cbBuffer))) {
            if (connection_.TimedOut()) return Handshake::TimedOut;
            if (FAILED(status)) return failed(HandshakeFault(status));
            return failed("the connection broke during the handshake (error " + std::to_string(WSAGetLastError()) +
                          ")");
        }
        if (status != SEC_E_OK && status != SEC_I_CONTINUE_NEEDED && status != SEC_I_INCOMPLETE_CREDENTIALS) {
            // What the server said (a refusal, or an old protocol that it
            // chose) says more than the package's code.
            const int alert = AlertDescription(encrypted_.data(), held_);
            if (alert >= 0) return failed(AlertFault(alert));
            const int version = ServerHelloVersion(encrypted_.data(), held_);
            if (version >= 0 && version < 0x0303)
                return failed("no protocol version in common: the server chose " + VersionName(version) +
                              ", older than TLS 1.2");
            return failed(HandshakeFault(status));
        }
        // Bytes behind the message just taken stay for the next step (or,
        // once done, are the first application records).
        std::size_t extra = in[1].BufferType == SECBUFFER_EXTRA ? in[1].cbBuffer : 0;
        if (extra > held_) extra = 0;
        std::memmove(encrypted_.data(), encrypted_.data() + held_ - extra, extra);
        held_ = extra;
        if (status == SEC_E_OK) return Handshake::Done;
        if (status == SEC_I_INCOMPLETE_CREDENTIALS) {
            // The server asks for a client certificate: there is none to
            // give, which the next step tells it. Asked again: refused.
            if (++retries > 1) return failed("the server insists on a client certificate");
            needMore = false;
            continue;
        }
        needMore = held_ == 0;
    }
}

namespace {

// The chain as this machine builds it: from the server's certificate,
// through what the server sent along, to a root in the machine's store.
// remainingMs: what is left of the wait limit, -1 without one.
Unique<ChainTraits> BuildChain(PCCERT_CONTEXT certificate, bool checkRevocation, int remainingMs) {
    static const char* const kServerAuthentication[] = {szOID_PKIX_KP_SERVER_AUTH};
    CERT_CHAIN_PARA para;
    std::memset(&para, 0, sizeof para);
    para.cbSize = sizeof para;
    para.RequestedUsage.dwType = USAGE_MATCH_TYPE_AND;
    para.RequestedUsage.Usage.cUsageIdentifier = 1;
    para.RequestedUsage.Usage.rgpszUsageIdentifier = const_cast<char**>(kServerAuthentication);
    DWORD flags = checkRevocation ? CERT_CHAIN_REVOCATION_CHECK_CHAIN_EXCLUDE_ROOT : 0;
    if (checkRevocation && remainingMs >= 0) {
        // Fetching revocation lists shares the wait limit.
        para.dwUrlRetrievalTimeout = static_cast<DWORD>(remainingMs > 0 ? remainingMs : 1);
        flags |= CERT_CHAIN_REVOCATION_ACCUMULATIVE_TIMEOUT;
    }
    PCCERT_CHAIN_CONTEXT built = nullptr;
    if (!CertGetCertificateChain(HCCE_LOCAL_MACHINE, certificate, nullptr, certificate->hCertStore, &para, flags,
                                 nullptr, &built))
        built = nullptr;
    return Unique<ChainTraits>(built);
}

// The SSL policy's verdict on the chain for the server's name (0 when it
// accepts); false when the policy cannot be checked at all.
bool SslPolicyVerdict(PCCERT_CHAIN_CONTEXT chain, std::wstring& name, DWORD& error) {
    SSL_EXTRA_CERT_CHAIN_POLICY_PARA ssl;
    std::memset(&ssl, 0, sizeof ssl);
    ssl.cbSize = sizeof ssl;
    ssl.dwAuthType = AUTHTYPE_SERVER;
    ssl.fdwChecks = kPolicyIgnoresRevocation;
    ssl.pwszServerName = &name[0];
    CERT_CHAIN_POLICY_PARA policy;
    std::memset(&policy, 0, sizeof policy);
    policy.cbSize = sizeof policy;
    policy.dwFlags = CERT_CHAIN_POLICY_IGNORE_ALL_REV_UNKNOWN_FLAGS;
    policy.pvExtraPolicyPara = &ssl;
    CERT_CHAIN_POLICY_STATUS verdict;
    std::memset(&verdict, 0, sizeof verdict);
    verdict.cbSize = sizeof verdict;
    if (!CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_SSL, chain, &policy, &verdict)) return false;
    error = verdict.dwError;
    return true;
}

bool RevocationUnknown(DWORD error) {
    const HRESULT code = static_cast<HRESULT>(error);
    return code == CRYPT_E_NO_REVOCATION_CHECK || code == CRYPT_E_REVOCATION_OFFLINE ||
           code == CERT_E_REVOCATION_FAILURE;
}

}  // namespace

std::string TlsSession::CertificateFault(const char* host) const {
    Unique<CertificateTraits> certificate;
    PCCERT_CONTEXT received = nullptr;
    const SECURITY_STATUS status =
        QueryContextAttributesA(const_cast<CtxtHandle*>(&context_), SECPKG_ATTR_REMOTE_CERT_CONTEXT, &received);
    if (status != SEC_E_OK || !received) return "the server sent no certificate";
    certificate.Reset(received);

    Unique<ChainTraits> chain = BuildChain(certificate.Get(), true, connection_.RemainingMs());
    if (!chain) return "no chain could be built (error " + std::to_string(GetLastError()) + ")";
    const std::string fault = TrustFault(chain.Get());
    if (!fault.empty()) return fault;

    // The name check, and the rest of what the platform asks of a server's
    // chain. The trust status above comes first: the policy alone accepts
    // chains that the platform's own status does not. Revocation was judged
    // there too: a policy that still stops at an unknown revocation status
    // (before it ever looks at the name) is asked again about a chain built
    // without revocation checks.
    std::wstring name = Wide(host);
    DWORD error = 0;
    if (!SslPolicyVerdict(chain.Get(), name, error))
        return "the server authentication policy cannot be checked (error " + std::to_string(GetLastError()) + ")";
    if (RevocationUnknown(error)) {
        Unique<ChainTraits> plain = BuildChain(certificate.Get(), false, -1);
        if (!plain) return "no chain could be built (error " + std::to_string(GetLastError()) + ")";
        if (!SslPolicyVerdict(plain.Get(), name, error))
            return "the server authentication policy cannot be checked (error " + std::to_string(GetLastError()) +
                   ")";
    }
    return PolicyFault(error);
}

int TlsSession::Send(const char* bytes, int count) {
    if (!established_) return -1;
    std::vector<char> record(sizes_.cbHeader + sizes_.cbMaximumMessage + sizes_.cbTrailer);
    for (int done = 0; done < count;) {
        const int piece = count - done < static_cast<int>(sizes_.cbMaximumMessage)
                              ? count - done
                              : static_cast<int>(sizes_.cbMaximumMessage);
        std::memcpy(record.data() + sizes_.cbHeader, bytes + done, static_cast<std::size_t>(piece));
        SecBuffer buffers[4] = {
            {sizes_.cbHeader, SECBUFFER_STREAM_HEADER, record.data()},
            {static_cast<unsigned long>(piece), SECBUFFER_DATA, record.data() + sizes_.cbHeader},
            {sizes_.cbTrailer, SECBUFFER_STREAM_TRAILER, record.data() + sizes_.cbHeader + piece},
            {0, SECBUFFER_EMPTY, nullptr},
        };
        SecBufferDesc desc{SECBUFFER_VERSION, 4, buffers};
        if (EncryptMessage(&context_, 0, &desc, 0) != SEC_E_OK) return -1;
        if (!SendAll(record.data(), static_cast<int>(buffers[0].cbBuffer + buffers[1].cbBuffer + buffers[2].cbBuffer)))
            return -1;
        done += piece;
    }
    return count;
}

int TlsSession::ReceiveByte(char& byte) {
    while (taken_ == plain_.size()) {
        if (ended_ || !established_) return ended_ ? 0 : -1;
        if (held_ > 0) {
            SecBuffer buffers[4] = {{static_cast<unsigned long>(held_), SECBUFFER_DATA, encrypted_.data()},
                                    {0, SECBUFFER_EMPTY, nullptr},
                                    {0, SECBUFFER_EMPTY, nullptr},
                                    {0, SECBUFFER_EMPTY, nullptr}};
            SecBufferDesc desc{SECBUFFER_VERSION, 4, buffers};
            // Wine's Schannel decrypts the server's closing alert as an empty
            // record (SEC_E_OK), where Windows says SEC_I_CONTEXT_EXPIRED; a
            // TLS 1.2 record still shows its content type in clear.
            const bool alert = static_cast<unsigned char>(encrypted_[0]) == kAlertRecord;
            const SECURITY_STATUS status = DecryptMessage(&context_, &desc, 0, nullptr);
            if (status == SEC_E_OK) {
                plain_.clear();
                taken_ = 0;
                const SecBuffer* extra = nullptr;
                for (const SecBuffer& b : buffers) {
                    if (b.BufferType == SECBUFFER_DATA && b.cbBuffer > 0)
                        plain_.assign(static_cast<const char*>(b.pvBuffer),
                                      static_cast<const char*>(b.pvBuffer) + b.cbBuffer);
                    if (b.BufferType == SECBUFFER_EXTRA) extra = &b;
                }
                const std::size_t left = extra && extra->cbBuffer <= held_ ? extra->cbBuffer : 0;
                std::memmove(encrypted_.data(), encrypted_.data() + held_ - left, left);
                held_ = left;
                if (alert && plain_.empty()) ended_ = true;
                continue;
            }
            if (status == SEC_I_CONTEXT_EXPIRED) {
                // The server's closing alert: the end of its data.
                ended_ = true;
                continue;
            }
            // A renegotiation is not taken part in; anything else is a
            // broken or forged record. Either ends the reply.
            if (status != SEC_E_INCOMPLETE_MESSAGE) return -1;
        }
        int received = 0;
        if (!ReceiveMore(received)) {
            // A server that closes without the alert has ended its data too:
            // an HTTP/1.0 reply ends where the connection does.
            if (received == 0) {
                ended_ = true;
                continue;
            }
            return -1;
        }
    }
    byte = plain_[taken_++];
    return 1;
}

}  // namespace wex::http
