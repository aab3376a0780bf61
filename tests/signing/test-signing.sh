#!/bin/sh
# test-signing.sh <source dir> <bin dir> <work dir> host|wine
# Signs the built KORVA_VB6.dll with a throwaway certificate authority and
# code-signing certificate made here by openssl, then checks, in four groups
# (host: everything but Wine; wine: the signed DLL under Wine only):
#   sign       scripts/sign-dll.sh signs with a certificate, copies without
#   verify     osslsigncode accepts the signature against the throwaway CA
#              only; under Wine the signed DLL passes the ABI test and
#              WinVerifyTrust accepts it
#   tamper     one byte changed after signing is refused, by both
#   reproduce  the signature removed gives the unsigned DLL back byte for
#              byte (scripts/check-signed-release.sh, DLL and zip)
# Wine runs in WINEPREFIX from the environment.  Ends "N passed, N failed".
set -u
src=$(cd "$1" && pwd) bin=$(cd "$2" && pwd) work=$3 mode=$4
scripts=$src/scripts
passed=0 failed=0

check() {  # check <name> <command>...: one result line
    name=$1; shift
    if "$@" >"$work/out" 2>&1; then
        passed=$((passed + 1)); echo "PASS $name"
    else
        failed=$((failed + 1)); echo "FAIL $name"; sed 's/^/    /' "$work/out"
    fi
}
refused() { ! "$@"; }
stop() {  # a step the checks after it stand on failed: count it and end
    failed=$((failed + 1)); echo "FAIL $*"
    echo "$passed passed, $failed failed"; exit 1
}
says() {  # says <pattern> <command>...: the command succeeds and prints <pattern>
    pattern=$1; shift
    "$@" >"$work/said" 2>&1; rc=$?
    cat "$work/said"
    [ $rc = 0 ] && grep -q -- "$pattern" "$work/said"
}
flip_byte() {  # flip_byte <in> <out> <offset>
    python3 -c 'import sys; b = bytearray(open(sys.argv[1], "rb").read()); b[int(sys.argv[3])] ^= 1; open(sys.argv[2], "wb").write(b)' "$@" ||
        stop "cannot change a byte of $1"
}

rm -rf "$work"
mkdir -p "$work/abi" && work=$(cd "$work" && pwd) && cd "$work" || exit 1

# --- a throwaway CA and a code-signing certificate it issued ----------------
cat >ext.cnf <<'EOF'
[ca]
basicConstraints = critical, CA:TRUE
keyUsage = critical, keyCertSign, cRLSign
subjectKeyIdentifier = hash
[signer]
basicConstraints = critical, CA:FALSE
keyUsage = critical, digitalSignature
extendedKeyUsage = codeSigning
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
EOF
password="korva $$ test"
{
    openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.pem -days 2 \
        -subj "/CN=KORVA_VB6 throwaway test CA" -config ext.cnf -extensions ca &&
    openssl req -newkey rsa:2048 -nodes -keyout signer.key -out signer.csr \
        -subj "/CN=KORVA_VB6 throwaway code signing" -config ext.cnf &&
    openssl x509 -req -in signer.csr -CA ca.pem -CAkey ca.key -set_serial 1 -days 2 \
        -extfile ext.cnf -extensions signer -out signer.pem &&
    printf '%s\n' "$password" >pass.txt &&
    openssl pkcs12 -export -inkey signer.key -in signer.pem -certfile ca.pem \
        -out signer.p12 -passout file:pass.txt
} >openssl.log 2>&1 || { cat openssl.log; stop "openssl: the throwaway certificates"; }
rm -f pass.txt ca.key signer.key

cp "$bin/KORVA_VB6.dll" unsigned.dll || stop "no built KORVA_VB6.dll in $bin"

if [ "$mode" = wine ]; then
    # what the Wine checks stand on, made without counting
    KORVA_SIGN_PKCS12=signer.p12 KORVA_SIGN_PASSWORD="$password" sh "$scripts/sign-dll.sh" unsigned.dll signed.dll \
        >/dev/null || stop "sign-dll.sh could not sign"
    flip_byte signed.dll tampered.dll 4096
else
# --- sign ---------------------------------------------------------------------
check "sign: no certificate: an unchanged copy, said to be unsigned" \
    sh -c "env -u KORVA_SIGN_PKCS12 sh '$scripts/sign-dll.sh' unsigned.dll copy.dll | grep '^unsigned: ' &&
           cmp unsigned.dll copy.dll"
check "sign: --require without a certificate fails" \
    refused env -u KORVA_SIGN_PKCS12 sh "$scripts/sign-dll.sh" --require unsigned.dll copy2.dll
check "sign: PKCS#12 and password from the environment" \
    says "^signed: signed.dll" env KORVA_SIGN_PKCS12=signer.p12 KORVA_SIGN_PASSWORD="$password" \
        sh "$scripts/sign-dll.sh" unsigned.dll signed.dll
check "sign: the password is not printed" refused grep -q "$password" "$work/said"
check "sign: a wrong password signs nothing" \
    sh -c "! KORVA_SIGN_PKCS12=signer.p12 KORVA_SIGN_PASSWORD=wrong sh '$scripts/sign-dll.sh' unsigned.dll wrong.dll &&
           test ! -e wrong.dll"
[ -f signed.dll ] || stop "no signed DLL: the checks below need it"

# --- verify -------------------------------------------------------------------
check "verify: osslsigncode accepts the signature against the test CA" \
    says "Signature verification: ok" osslsigncode verify -in signed.dll -CAfile ca.pem
check "verify: ... and refuses it against the system's CAs" \
    refused osslsigncode verify -in signed.dll

# --- tamper ---------------------------------------------------------------------
# one bit of the first section's bytes, after signing
flip_byte signed.dll tampered.dll 4096
check "tamper: one byte changed after signing is refused" \
    refused osslsigncode verify -in tampered.dll -CAfile ca.pem

# --- reproduce --------------------------------------------------------------------
check "reproduce: stripped == unsigned, digests equal (DLL)" \
    says "OK: the signed DLL is the unsigned build plus its signature" \
    sh "$scripts/check-signed-release.sh" --cafile ca.pem signed.dll unsigned.dll
cat "$work/said" | sed -n '/== signature removed/,$p'
mkdir -p zip/KORVA_VB6-test/bin && cp signed.dll zip/KORVA_VB6-test/bin/KORVA_VB6.dll &&
    (cd zip && python3 -c 'import sys, zipfile; zipfile.ZipFile("release.zip", "w").write(sys.argv[1])' \
        KORVA_VB6-test/bin/KORVA_VB6.dll) || stop "cannot make a zip"
check "reproduce: the same from a release zip" \
    says "OK:" sh "$scripts/check-signed-release.sh" --cafile ca.pem zip/release.zip unsigned.dll
flip_byte unsigned.dll other.dll 4096
check "reproduce: a rebuild that differs is refused" \
    refused sh "$scripts/check-signed-release.sh" --cafile ca.pem signed.dll other.dll

fi

if [ "$mode" = wine ]; then
# --- under Wine ---------------------------------------------------------------------
wine_run=$src/scripts/wine-run.sh
said=$(sh "$wine_run" cmd /c exit 2>&1)
[ $? = 77 ] && { echo "$said"; exit 77; }
cp signed.dll abi/KORVA_VB6.dll
cp "$bin/KORVA.dll" "$bin/libq47.dll" "$bin/test_abi.exe" "$bin/korva_verify_trust.exe" abi/ ||
    stop "cannot set up the Wine folder"
cp tampered.dll abi/ || stop "cannot set up the Wine folder"
check "verify: the signed DLL loads and passes the ABI test under Wine" \
    sh -c "cd abi && sh '$wine_run' test_abi.exe"
# Wine's WinVerifyTrust checks the digest but not the chain: it answers 0
# for any intact signature (see verify_trust.c), so it cannot tell whether
# the test CA is trusted; it can tell a changed file.
check "verify: WinVerifyTrust accepts the signed DLL" \
    says "WinVerifyTrust: 0x00000000" sh -c "cd abi && sh '$wine_run' korva_verify_trust.exe KORVA_VB6.dll"
check "tamper: WinVerifyTrust refuses the changed copy (TRUST_E_BAD_DIGEST)" \
    says "WinVerifyTrust: 0x80096010" sh -c "cd abi && sh '$wine_run' korva_verify_trust.exe tampered.dll; true"
fi

echo "$passed passed, $failed failed"
[ $failed = 0 ]
