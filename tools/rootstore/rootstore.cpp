// rootstore: puts a certificate authority into this machine's root store, or
// takes it out again, so that a private CA's server certificates are trusted
// (the tests' and the demo's local TLS servers).
//
//   rootstore add CERT      CERT: a PEM or DER file holding one certificate
//   rootstore remove CERT
//
// Adding replaces a copy already there; removing one that is not there
// succeeds. Removal goes through the store kept in the registry
// (HKLM\SOFTWARE\Microsoft\SystemCertificates\Root): under Wine a deletion
// from the system store does not last.
#include <windows.h>
#include <wincrypt.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

// The certificate's DER bytes; a PEM file is decoded first.
bool ReadCertificate(const char* path, std::vector<BYTE>& der) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (text.find("-----BEGIN") == std::string::npos) {
        der.assign(text.begin(), text.end());
        return !der.empty();
    }
    DWORD size = 0;
    if (!CryptStringToBinaryA(text.c_str(), static_cast<DWORD>(text.size()), CRYPT_STRING_BASE64HEADER, nullptr, &size,
                              nullptr, nullptr))
        return false;
    der.resize(size);
    return CryptStringToBinaryA(text.c_str(), static_cast<DWORD>(text.size()), CRYPT_STRING_BASE64HEADER, der.data(),
                                &size, nullptr, nullptr) != 0;
}

int Add(const std::vector<BYTE>& der) {
    HCERTSTORE store = CertOpenStore(CERT_STORE_PROV_SYSTEM_A, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, "Root");
    if (!store) {
        std::fprintf(stderr, "rootstore: cannot open the machine's root store (error %lu)\n", GetLastError());
        return 1;
    }
    const BOOL added = CertAddEncodedCertificateToStore(store, X509_ASN_ENCODING, der.data(),
                                                        static_cast<DWORD>(der.size()),
                                                        CERT_STORE_ADD_REPLACE_EXISTING, nullptr);
    const DWORD error = GetLastError();
    CertCloseStore(store, 0);
    if (!added) {
        std::fprintf(stderr, "rootstore: cannot add the certificate (error %lu)\n", error);
        return 1;
    }
    return 0;
}

int Remove(const std::vector<BYTE>& der) {
    HKEY key = nullptr;
    const LONG opened =
        RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\SystemCertificates\\Root", 0, KEY_ALL_ACCESS, &key);
    if (opened == ERROR_FILE_NOT_FOUND) return 0;
    if (opened != ERROR_SUCCESS) {
        std::fprintf(stderr, "rootstore: cannot open the root store's key (error %ld)\n", opened);
        return 1;
    }
    HCERTSTORE store = CertOpenStore(CERT_STORE_PROV_REG, 0, 0, 0, key);
    const DWORD openError = GetLastError();
    RegCloseKey(key);
    if (!store) {
        std::fprintf(stderr, "rootstore: cannot open the registry store (error %lu)\n", openError);
        return 1;
    }
    int status = 0;
    PCCERT_CONTEXT wanted = CertCreateCertificateContext(X509_ASN_ENCODING, der.data(), static_cast<DWORD>(der.size()));
    if (!wanted) {
        std::fprintf(stderr, "rootstore: not a certificate (error %lu)\n", GetLastError());
        status = 1;
    } else {
        // Deleting frees the context it is given, found or not.
        while (PCCERT_CONTEXT found =
                   CertFindCertificateInStore(store, X509_ASN_ENCODING, 0, CERT_FIND_EXISTING, wanted, nullptr)) {
            if (!CertDeleteCertificateFromStore(found)) {
                std::fprintf(stderr, "rootstore: cannot remove the certificate (error %lu)\n", GetLastError());
                status = 1;
                break;
            }
        }
        CertFreeCertificateContext(wanted);
    }
    CertCloseStore(store, 0);
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3 || (std::strcmp(argv[1], "add") != 0 && std::strcmp(argv[1], "remove") != 0)) {
        std::fprintf(stderr, "usage: rootstore add|remove CERT\n");
        return 2;
    }
    std::vector<BYTE> der;
    if (!ReadCertificate(argv[2], der)) {
        std::fprintf(stderr, "rootstore: cannot read a certificate from %s\n", argv[2]);
        return 1;
    }
    return std::strcmp(argv[1], "add") == 0 ? Add(der) : Remove(der);
}
