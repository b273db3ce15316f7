# Sourced by the tests that sign: make_test_certificate DIR makes a throwaway
# self-signed code-signing certificate in DIR: cert.pem (to verify against),
# cert.pfx (to sign with) and password (its password).
make_test_certificate() {
    local dir=$1
    mkdir -p "$dir"
    printf 'zoppel test %s\n' "$$" >"$dir/password"
    /usr/bin/openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Kestrova test signing" \
        -addext "extendedKeyUsage=codeSigning" -keyout "$dir/key.pem" -out "$dir/cert.pem" 2>/dev/null
    /usr/bin/openssl pkcs12 -export -inkey "$dir/key.pem" -in "$dir/cert.pem" -out "$dir/cert.pfx" \
        -passout "file:$dir/password"
}
