#!/usr/bin/env bash
# Makes the certificates of the local TLS servers with openssl, into FOLDER:
#   make-certs.sh FOLDER [LIST_URL]
# ca.pem         a test certificate authority (to be put into the prefix's
#                machine root store; tools/rootstore)
# good.pem       a server certificate from it for localhost and 127.0.0.1
#                (as an IP entry and as a DNS name, which some name checks
#                need), valid from an hour ago for 30 days
# expired.pem    the same names, ended a year ago
# othername.pem  for other.invalid only
# selfsigned.pem for localhost and 127.0.0.1, issued by itself
# orphan.pem     for localhost and 127.0.0.1, from an intermediate authority
#                that the server does not send (intermediate.pem)
# revoked.pem    for localhost and 127.0.0.1, revoked in the CA's revocation
#                list ca.crl, which its distribution point names: LIST_URL
#                (only with LIST_URL; a server must give ca.crl there)
# unreachable.pem for localhost and 127.0.0.1, its revocation list on a
#                server that cannot be reached (127.0.0.1, port 9)
# server.key     the key of every server certificate
# Each certificate file holds the certificate alone; the servers send the
# chain they are given. Runs in about a second; existing files are replaced.
set -euo pipefail
out=${1:?usage: make-certs.sh FOLDER}
mkdir -p "$out"
cd "$out"
rm -rf ca-db && mkdir ca-db
: >ca-db/index.txt

names="DNS:localhost,DNS:127.0.0.1,IP:127.0.0.1"
cat >ca.cnf <<CNF
[ ca ]
default_ca = test_ca
[ test_ca ]
dir = ca-db
database = ca-db/index.txt
new_certs_dir = ca-db
rand_serial = yes
default_md = sha256
policy = any_name
unique_subject = no
copy_extensions = none
[ any_name ]
commonName = supplied
[ req ]
distinguished_name = dn
prompt = no
[ dn ]
CN = unused
[ authority ]
basicConstraints = critical, CA:true
keyUsage = critical, keyCertSign, cRLSign
subjectKeyIdentifier = hash
[ server_local ]
basicConstraints = critical, CA:false
keyUsage = critical, digitalSignature, keyEncipherment
extendedKeyUsage = serverAuth
subjectAltName = $names
authorityKeyIdentifier = keyid
[ server_revoked ]
basicConstraints = critical, CA:false
keyUsage = critical, digitalSignature, keyEncipherment
extendedKeyUsage = serverAuth
subjectAltName = $names
authorityKeyIdentifier = keyid
crlDistributionPoints = URI:${2:-http://127.0.0.1:9/ca.crl}
[ server_unreachable ]
basicConstraints = critical, CA:false
keyUsage = critical, digitalSignature, keyEncipherment
extendedKeyUsage = serverAuth
subjectAltName = $names
authorityKeyIdentifier = keyid
crlDistributionPoints = URI:http://127.0.0.1:9/ca.crl
[ server_other ]
basicConstraints = critical, CA:false
keyUsage = critical, digitalSignature, keyEncipherment
extendedKeyUsage = serverAuth
subjectAltName = DNS:other.invalid
authorityKeyIdentifier = keyid
CNF

quiet() { "$@" >/dev/null 2>&1 || { echo "make-certs: failed: $*" >&2; "$@"; exit 1; }; }

quiet openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.pem -days 30 -subj "/CN=Wexlib Test CA" \
    -config ca.cnf -extensions authority
quiet openssl genrsa -out server.key 2048
quiet openssl req -new -key server.key -out server.csr -subj "/CN=localhost" -config ca.cnf

# sign KEY CERT ISSUER EXTENSIONS SUBJECT START END (YYMMDDHHMMSSZ)
sign() {
    quiet openssl ca -batch -config ca.cnf -keyfile "$1" -cert "$2" -extensions "$3" -subj "$4" \
        -startdate "$5" -enddate "$6" -in server.csr -out "$7" -notext
}
start=$(date -u -d '1 hour ago' +%y%m%d%H%M%SZ)
end=$(date -u -d '30 days' +%y%m%d%H%M%SZ)
sign ca.key ca.pem server_local /CN=localhost "$start" "$end" good.pem
sign ca.key ca.pem server_local /CN=localhost "$(date -u -d '2 years ago' +%y%m%d%H%M%SZ)" \
    "$(date -u -d '1 year ago' +%y%m%d%H%M%SZ)" expired.pem
sign ca.key ca.pem server_other /CN=other.invalid "$start" "$end" othername.pem
sign ca.key ca.pem server_unreachable /CN=localhost "$start" "$end" unreachable.pem
rm -f revoked.pem
if [ -n "${2:-}" ]; then
    sign ca.key ca.pem server_revoked /CN=localhost "$start" "$end" revoked.pem
    quiet openssl ca -config ca.cnf -keyfile ca.key -cert ca.pem -revoke revoked.pem -crl_reason keyCompromise
fi
quiet openssl ca -config ca.cnf -keyfile ca.key -cert ca.pem -gencrl -crldays 30 -out ca-crl.pem
quiet openssl crl -in ca-crl.pem -outform DER -out ca.crl

# An intermediate authority of the test CA, and a server certificate of its.
quiet openssl req -new -newkey rsa:2048 -nodes -keyout intermediate.key -out intermediate.csr \
    -subj "/CN=Wexlib Test Intermediate" -config ca.cnf
quiet openssl ca -batch -config ca.cnf -keyfile ca.key -cert ca.pem -extensions authority \
    -subj "/CN=Wexlib Test Intermediate" -startdate "$start" -enddate "$end" -in intermediate.csr \
    -out intermediate.pem -notext
sign intermediate.key intermediate.pem server_local /CN=localhost "$start" "$end" orphan.pem

cat >selfsigned.cnf <<CNF
[ req ]
distinguished_name = dn
prompt = no
x509_extensions = server
[ dn ]
CN = localhost
[ server ]
basicConstraints = critical, CA:false
extendedKeyUsage = serverAuth
subjectAltName = $names
CNF
quiet openssl req -x509 -key server.key -out selfsigned.pem -days 30 -config selfsigned.cnf
rm -f server.csr intermediate.csr
