#!/usr/bin/env bash
# Makes the certificates of a local etcd cluster with client-certificate authentication, for
# the tests and for trying TLS by hand (scripts/etcd-cluster.sh start DIR N --tls CERTDIR).
#
#   scripts/etcd-certs.sh DIR
#
# DIR then holds, each key readable by its owner only:
#   ca.crt ca.key                   the authority the members trust
#   server.crt server.key           the members' certificate, for 127.0.0.1 and localhost
#   client.crt client.key           a host's certificate, signed by ca
#   foreign-ca.crt foreign-ca.key   another authority, which the members do not trust
#   foreign.crt foreign.key         a host's certificate signed by that one: refused
set -euo pipefail

[ $# -eq 1 ] || { echo "usage: $0 DIR" >&2; exit 2; }
dir=$1
mkdir -p "$dir"
cd "$dir"
umask 077

key() { openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-256 -out "$1" 2>/dev/null; }

authority() {  # NAME SUBJECT
  key "$1.key"
  openssl req -x509 -new -key "$1.key" -subj "$2" -days 3650 -out "$1.crt" \
    -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign,cRLSign
}

signed() {  # NAME SUBJECT AUTHORITY EXTENSIONS
  key "$1.key"
  openssl req -new -key "$1.key" -subj "$2" -out "$1.csr"
  openssl x509 -req -in "$1.csr" -CA "$3.crt" -CAkey "$3.key" -CAcreateserial -days 3650 \
    -extfile <(printf '%s\n' "$4") -out "$1.crt" 2>/dev/null
  rm -f "$1.csr"
}

authority ca "/CN=tarne test authority"
authority foreign-ca "/CN=tarne foreign authority"
# The gateway inside each member dials the member itself with the server certificate, so it
# is a client certificate too.
signed server "/CN=tarne test member" ca \
  "basicConstraints=CA:FALSE
keyUsage=critical,digitalSignature,keyEncipherment
extendedKeyUsage=serverAuth,clientAuth
subjectAltName=IP:127.0.0.1,DNS:localhost"
client_extensions="basicConstraints=CA:FALSE
keyUsage=critical,digitalSignature,keyEncipherment
extendedKeyUsage=clientAuth"
signed client "/CN=tarne test host" ca "$client_extensions"
signed foreign "/CN=tarne test host" foreign-ca "$client_extensions"
rm -f ./*.srl
chmod 0644 ./*.crt
