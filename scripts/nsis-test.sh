#!/usr/bin/env bash
# Builds the NSIS installers that use nsis/Wexlib.nsh (the example setup
# examples/nsis/provision.nsi and the macro test tests/nsis/macros.nsi) as
# ANSI and as Unicode installers, runs each installer that this machine's
# Wine can run silently, and checks what it left: the item file and
# reginfo.txt byte for byte, the registry values, that the service is gone,
# the form post the server received and the installer log's lines.
# Exits non-zero when any check fails.
source "$(dirname "$0")/common.sh"
# The x86 installers always carry the 32-bit build; the amd64 one the 64-bit
# build, run where that is the build this machine's Wine runs.
arch=$(wex_wine_arch)
wex_prepare $(printf '%s\n' win32 "$arch" | sort -u)
wex_wine_use "$arch"

out="$top/build/nsis"
rm -rf "$out"
mkdir -p "$out"
failures=0
ok() { echo "   ok    $*"; }
fail() { echo "   FAIL  $*"; failures=$((failures + 1)); }

# ---- Which installers this machine builds and runs ----------------------
# An ANSI installer is always a 32-bit program (makensis has no 64-bit ANSI
# stub), and so is an x86-unicode one: both need 32-bit Wine.
targets=(x86-ansi)
runnable=()
if [ "$arch" = win32 ]; then
    targets+=(x86-unicode)
    runnable=(x86-ansi x86-unicode)
    why_not_run=""
else
    targets+=(amd64-unicode)
    runnable=(amd64-unicode)
    if why32=$(/usr/lib/wine/wine --version 2>&1 | tail -n1 | sed 's/^.*: //'; exit "${PIPESTATUS[0]}"); then
        why_not_run="WEXLIB_ARCH=win64 was chosen: the 32-bit installers need a 32-bit prefix, so the x86-ansi installer is compiled but not run; the amd64-unicode installer with the 64-bit Wexlib.dll is run instead"
    else
        why_not_run="32-bit Wine cannot run here (/usr/lib/wine/wine: $why32): this kernel does not execute 32-bit code, and an ANSI installer is always a 32-bit program, so the x86-ansi installer is compiled but not run; the amd64-unicode installer with the 64-bit Wexlib.dll is run instead"
    fi
fi
bin_of() { case "$1" in amd64-unicode) echo "$top/build/win64/bin" ;; *) echo "$top/build/win32/bin" ;; esac; }

max_strlen=$(makensis -HDRINFO | tr ' ,' '\n\n' | sed -n 's/^NSIS_MAX_STRLEN=//p')
seed="nsis-test seed $(od -An -N8 -tx1 /dev/urandom | tr -d ' \n')"

echo "== Build the installers with makensis $(makensis -VERSION) (NSIS_MAX_STRLEN $max_strlen)"
for t in "${targets[@]}"; do
    for script in examples/nsis/provision.nsi tests/nsis/macros.nsi; do
        name=$(basename "$script" .nsi)-$t.exe
        # The seed is fixed for the test's build only, so that the log can be
        # searched for it; a real build makes a fresh one per install.
        if ! makensis -V4 -DWEXLIB_TARGET="$t" -DWEXLIB_BIN="$(bin_of "$t")" -DOUTFILE="$out/$name" \
                -DMERCHANT_SEED="$seed" "$top/$script" >"$out/$name.makensis.txt" 2>&1; then
            fail "makensis $script for $t:"
            tail -n 20 "$out/$name.makensis.txt"
            continue
        fi
        # What makensis says it built: "Unicode: false" or "Target: ...".
        said=$(grep -E '^(Unicode|Target): ' "$out/$name.makensis.txt" | tail -n1)
        # makensis ends its output with "N warning(s):" and one line each.
        if grep -q -E '^[0-9]+ warnings?:' "$out/$name.makensis.txt"; then
            fail "makensis $script for $t warns:"
            sed -n '/^[0-9][0-9]* warnings\{0,1\}:/,$p' "$out/$name.makensis.txt"
        fi
        bin=$(bin_of "$t")
        ok "built build/nsis/$name ($said, Wexlib.dll and helpers from ${bin#"$top"/})"
    done
done
[ -z "$why_not_run" ] || echo "   note  $why_not_run"

# ---- Wine, the scratch root on C: and the form server -----------------
trap 'wex_stop_form_server; wex_wine_down' EXIT
wex_wine_up
echo "== Wine: $("$WEX_WINE" --version), $arch prefix"
# The installers run from drive C:, where the library's temporary files go.
scratch="$WINEPREFIX/drive_c/wexnsis"
mkdir -p "$scratch/installers" "$scratch/http"
for t in "${runnable[@]}"; do cp "$out/provision-$t.exe" "$out/macros-$t.exe" "$scratch/installers/"; done
cp "$top/build/$arch/bin/formserver.exe" "$scratch/http/"
cd "$scratch"

wex_start_form_server 'C:\wexnsis\http\formserver.exe' "$scratch/http" 'C:\wexnsis\http' "${#runnable[@]}" 300000
port=$wex_form_server_port

# ---- Helpers for the checks ---------------------------------------------

# Compares a file with the expected bytes; shows both on a difference.
check_bytes() {
    local what=$1 file=$2 expected=$3
    if [ ! -f "$file" ]; then
        fail "$what: missing"
    elif cmp -s "$file" <(printf '%s' "$expected"); then
        ok "$what: $(wc -c <"$file") bytes exactly as expected"
    else
        fail "$what differs (expected, then found; ^M is CR):"
        diff <(printf '%s' "$expected" | cat -A) <(cat -A "$file") | sed 's/^/         /' || true
    fi
}

# The check number of a merchant identifier, computed here from its rule:
# a = 1241, then for each byte v of the lowercased name (signed 8-bit) a =
# a + (v % 43) + (a xor v) in 32-bit arithmetic; the number is a % 91.
check_number() {
    local name=$1 a=1241 i v r
    for ((i = 0; i < ${#name}; i++)); do
        v=$(LC_ALL=C printf '%d' "'${name:i:1}")
        ((v > 127)) && v=$((v - 256))
        r=$((v % 43))
        a=$(((a + (r & 0xFFFFFFFF) + (a ^ (v & 0xFFFFFFFF))) & 0xFFFFFFFF))
    done
    printf '%02d' $((a % 91))
}

# The body lines of the block that header $2 opens in key file $1.
key_block() {
    tr -d '\r' <"$1" | awk -v header="$2" '$0 == header { on = 1; next } on && /^EOF/ { on = 0; next } on { print }'
}

# Every log line starts with the time stamp and ends in CR LF.
check_log_lines() {
    local log=$1 bad lines
    lines=$(grep -c '' "$log" || true)
    bad=$(tr -d '\r' <"$log" | grep -c -v -E '^[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}\.[0-9]{3} ' || true)
    if [ "$bad" = 0 ] && [ "$lines" -gt 0 ]; then
        ok "log: all $lines lines start with \"YYYY-MM-DD HH:MM:SS.mmm \""
    else
        fail "log: $bad of $lines lines without the time stamp:"
        tr -d '\r' <"$log" | grep -v -E '^[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}\.[0-9]{3} ' | head -n 5
    fi
    if [ "$(grep -c $'\r$' "$log" || true)" = "$lines" ] && [ "$(tail -c 2 "$log" | od -An -c | tr -d ' ')" = '\r\n' ]; then
        ok "log: every line ends in CR LF"
    else
        fail "log: a line does not end in CR LF"
    fi
}

# The log's events without their time stamps.
log_events() { tr -d '\r' <"$1" | cut -c25-; }

# The wanted events must all occur in the log, in this order (other events
# may come between them).
check_log_order() {
    local log=$1 what=$2 i=0 line
    shift 2
    local -a want=("$@")
    while IFS= read -r line; do
        [ "$i" -lt "${#want[@]}" ] || break
        [ "$line" = "${want[i]}" ] && i=$((i + 1))
    done < <(log_events "$log")
    if [ "$i" -eq "${#want[@]}" ]; then
        ok "log: the ${#want[@]} $what lines, in order"
    else
        fail "log: $what line $((i + 1)) of ${#want[@]} missing or out of order: ${want[i]}"
    fi
}

check_absent() {
    local what=$1 text=$2 file=$3
    if grep -q -F -- "$text" "$file"; then fail "$what appears in clear in $(basename "$file")"; else ok "no $what in clear"; fi
}

# Prints key $1 as reg export writes it (UTF-16 there), as UTF-8 text with
# its continued lines joined; $2 is the export's name in the scratch root.
reg_export() {
    rm -f "$scratch/$2"
    "$WEX_WINE" reg export "$1" "C:\\wexnsis\\$2" /y >/dev/null 2>&1 || return 1
    iconv -f UTF-16 -t UTF-8 "$scratch/$2" | tr -d '\r' | sed -e ':a' -e '/\\$/N; s/\\\n  //; ta'
}

# REG_MULTI_SZ data as the library writes it from a "+" list: each piece and
# its zero, then two more zero bytes, stored by the platform as UTF-16LE.
multi_sz_hex() {
    local piece hex="" i
    for piece in "$@"; do
        for ((i = 0; i < ${#piece}; i++)); do hex+=$(printf '%02x,00,' "'${piece:i:1}"); done
        hex+="00,00,"
    done
    hex+="00,00,00,00"
    echo "$hex"
}

# Whether the service manager's registry lists service $1: 0 listed, 1 not
# listed, 2 when the services cannot be listed at all (Wine's own eventlog
# service must be among them, or the listing proves nothing).
service_listed() {
    local services
    services=$("$WEX_WINE" reg query 'HKLM\System\CurrentControlSet\Services' 2>/dev/null | tr -d '\r') || true
    grep -q -i -x -F 'HKEY_LOCAL_MACHINE\System\CurrentControlSet\Services\eventlog' <<<"$services" || return 2
    grep -q -i -x -F "HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\$1" <<<"$services"
}

check_service_gone() {
    local rc=0
    service_listed "$1" || rc=$?
    case $rc in
        0) fail "service $1 still registered" ;;
        1) ok "service $1 ${2:-gone}" ;;
        *) fail "cannot list the registered services" ;;
    esac
}

stores='SOFTWARE\Microsoft\MerchantServer\Stores'
merchant=acme
merchant_id="$merchant-$(check_number "$merchant")"
body="merchant=ACME+Store&id=$merchant_id"

# ---- The macro test -----------------------------------------------------
run_macros() {
    local t=$1 dir="C:\\wexnsis\\macros-$t" root="$scratch/macros-$t" rc=0
    echo "== Run macros-$t.exe /S /D=$dir"
    rm -rf "$root"
    run_macros() {
        timeout 180 "$WEX_WINE" "C:\\wexnsis\\installers\\macros-$t.exe" /S "/D=$dir" </dev/null \
            >"$out/macros-$t.out" 2>&1
    }
    wex_talking "macros-$t.exe" run_macros || rc=$?
    [ "$rc" = 0 ] && ok "exit code 0" || fail "exit code $rc (output in build/nsis/macros-$t.out)"

    # What each macro gave back. Outputs longer than a variable holds are
    # cut at NSIS_MAX_STRLEN - 1 bytes: the 300 names (2400 bytes) and the
    # 400 encoded "&" (1200 bytes).
    local names="" amps="" i
    for ((i = 1; i <= 300; i++)); do names+=$(printf 'ITEM%03d&' "$i"); done
    for ((i = 1; i <= 400; i++)); do amps+="%26"; done
    local keep=$((max_strlen - 1))
    local expected
    printf -v expected '%s\r\n' \
        "SetLogFile: 1 []" \
        "SetSilentMode 1: 0 []" \
        "SetSilentMode 1 again: 1 []" \
        "SetWaitLimit 5000: 0 []" \
        "SetWaitLimit 5000 again: 5000 []" \
        "AddFileItem NAME: 1 []" \
        "AddFileItem COLOR: 1 []" \
        "SetFileItem COLOR: 1 []" \
        "FindFileItem COLOR gree: 1 []" \
        "FindFileItem COLOR blue: 0 []" \
        "FindFileItem COLOR any: 1 []" \
        "GetFileItem NAME: 1 [First value]" \
        "GetFileItem MISSING: 0 []" \
        "Substitute: 1 []" \
        "GetFileItem NAME after Substitute: 1 [Second value]" \
        "AddFileItem EXTRA: 1 []" \
        "AppendFile: 1 []" \
        "GetAllItemNames: 3 [NAME&COLOR&EXTRA&]" \
        "DeleteFileItem EXTRA: 1 []" \
        "GetAllItemNames after DeleteFileItem: 2 [NAME&COLOR&]" \
        "GetAllItemNames of a missing file: 0 []" \
        "GetAllItemNames of 300 names: 300 [${names:0:keep}]" \
        "_GetUserName: 1 [merchant]" \
        "URLEncode: 0 [ACME+Store+%26+Co.]" \
        "URLEncode of 400 ampersands: 0 [${amps:0:keep}]" \
        "ComputeMerchID kR5: 0 [kR5-$(check_number kr5)]" \
        "ComputeMerchID ACME: 0 [ACME-$(check_number acme)]" \
        "SetRegMultiSz (list kept): 1 [one+two]" \
        "EnumKeys 0: 1 [Store]" \
        "EnumKeys 1: 0 []" \
        "RegRemoveValue: 1 []" \
        "RegRemovePayComponent: 0 []" \
        "ServiceExists before: 0 []" \
        "InstallService: 1 []" \
        "ServiceExists: 1 []" \
        "BeginService: 1 []" \
        "ServiceRunning: 1 []" \
        "StopServer: 1 []" \
        "ServiceRunning after StopServer: 0 []" \
        "StopService of a stopped service: 0 []" \
        "RemoveService: 1 []" \
        "UnInstallService: 1 []" \
        "RunCommand: 1 []" \
        "GetPID by title: a process id []" \
        "KillProcess asks to close: 1 []" \
        "GetPID after KillProcess: 0 []" \
        "SendMsg to a closed port: 0 []" \
        "GetFileItem into its own input registers: 1 [green]" \
        "SetLogFile closes: 1 []"
    # A "KEPT" line would name a register or the stack a macro changed.
    check_bytes "macros.txt (every macro's result and output; registers and stack kept)" \
        "$root/macros.txt" "$expected"
    if [ -f "$root/macros.log" ]; then
        check_log_lines "$root/macros.log"
        # The library got the whole texts and wrote whole outputs: the cuts
        # above are the installer's variables only.
        check_log_order "$root/macros.log" "buffer" \
            "GetAllItemNames(\"$dir\\many.ini\", buf) -> 300 \"$names\"" \
            "URLEncode(\"$(printf '&%.0s' $(seq 400))\", buf) -> 0 \"$amps\"" \
            "ComputeMerchID(\"kR5\", buf) -> 0 \"kR5-$(check_number kr5)\"" \
            "SetRegMultiSz(\"SOFTWARE\\WexNsisTest\\Store\\Components\", \"List\", \"one+two\") -> 1" \
            "RunCommand(\"\\\"$dir\\wexwin.exe\\\" \\\"Macro window\\\"\", null) -> 1"
    else
        fail "macros.log: missing"
    fi
    check_service_gone WexNsisMacros
}

# ---- The example setup ----------------------------------------------------
run_provision() {
    local t=$1 dir="C:\\wexnsis\\provision-$t" root="$scratch/provision-$t" rc=0
    echo "== Run provision-$t.exe /S /REGHOST=127.0.0.1 /REGPORT=$port /D=$dir"
    rm -rf "$root"
    # Each run starts without the store and the service.
    "$WEX_WINE" reg delete "HKLM\\$stores\\$merchant" /f >/dev/null 2>&1 || true
    check_service_gone WexMerchantService "not registered before the run"
    run_provision() {
        timeout 180 "$WEX_WINE" "C:\\wexnsis\\installers\\provision-$t.exe" /S /REGHOST=127.0.0.1 "/REGPORT=$port" \
            "/D=$dir" </dev/null >"$out/provision-$t.out" 2>&1
    }
    wex_talking "provision-$t.exe" run_provision || rc=$?
    [ "$rc" = 0 ] && ok "exit code 0" || fail "exit code $rc (output in build/nsis/provision-$t.out)"
    if [ -f "$root/setup-error.txt" ]; then fail "setup-error.txt: $(tr -d '\r' <"$root/setup-error.txt")"; fi

    local mdir="$root/merchants/$merchant" keyfile="$root/merchants/$merchant/$merchant.key"
    if [ ! -f "$keyfile" ]; then
        fail "the generator wrote no key file $merchant.key"
        return
    fi
    # The expected texts come from the key file the generator wrote.
    local -a pub prk
    mapfile -t pub < <(key_block "$keyfile" '$MerchantPUK')
    mapfile -t prk < <(key_block "$keyfile" '$MerchantPRK')
    if [ "$(grep -c '^\$Merchant' "$keyfile")" = 2 ] && [ "${#pub[@]}" -gt 0 ] && [ "${#prk[@]}" -gt 0 ]; then
        ok "$merchant.key: one public block (${#pub[@]} lines) and one private block (${#prk[@]} lines)"
    else
        fail "$merchant.key: not one public and one private block"
    fi
    local pub_crlf prk_crlf pub_logged
    printf -v pub_crlf '%s\r\n' "${pub[@]}"
    printf -v prk_crlf '%s\r\n' "${prk[@]}"
    printf -v pub_logged '%s\\n' "${pub[@]}"

    # AddFileItem appends "\nNAME = VALUE\n", SetFileItem keeps the text up
    # to the "=" or appends "\nNAME=VALUE\n", SubstituteKeys appends
    # "NAME={" block "}" on a line of its own; the file is text, CR LF.
    check_bytes "merchant.ini" "$mdir/merchant.ini" \
        $'\r\n'"MERCHANT_NAME = ACME Store"$'\r\n'$'\r\n'"PORT =8443"$'\r\n'$'\r\n'"MERCHANT_ID=$merchant_id"$'\r\n'"MERCHANT_PUBLIC_KEY={"$'\r\n'"$pub_crlf}"$'\r\n'"MERCHANT_PRIVATE_KEY={"$'\r\n'"$prk_crlf}"$'\r\n'$'\r\n'"KEYS_INSTALLED=yes"$'\r\n'
    # The library spells the identifier's line "MERHANT_ID" (its own tests
    # pin that spelling), followed by the public block.
    check_bytes "reginfo.txt" "$mdir/reginfo.txt" \
        "MERHANT_ID = $merchant_id"$'\r\n'"Public Key ={"$'\r\n'"$pub_crlf}"$'\r\n'

    local exported expected_reg
    expected_reg=$(printf '%s\n' "Windows Registry Editor Version 5.00" "" \
        "[HKEY_LOCAL_MACHINE\\$stores\\$merchant]" "" \
        "[HKEY_LOCAL_MACHINE\\$stores\\$merchant\\Components]" \
        '"Components_Catalog"="WexCatalog"' \
        "\"Components_Payment\"=hex(7):$(multi_sz_hex WexPay.Card WexPay.Invoice)")
    if exported=$(reg_export "HKLM\\$stores\\$merchant" "store-$t.reg"); then
        if [ "$exported" = "$expected_reg" ]; then
            ok "registry: the store holds Components_Catalog and Components_Payment (WexPay.Card, WexPay.Invoice) only"
        else
            fail "registry: the store's key differs (expected, then found):"
            diff <(echo "$expected_reg") <(echo "$exported") | sed 's/^/         /' || true
        fi
    else
        fail "registry: no key HKLM\\$stores\\$merchant"
    fi
    check_service_gone WexMerchantService "gone again"

    local log="$root/install.log"
    if [ ! -f "$log" ]; then
        fail "install.log: missing"
        return
    fi
    check_log_lines "$log"
    local items="$dir\\merchants\\$merchant\\merchant.ini" comps="$stores\\$merchant\\Components" pid
    pid=$(log_events "$log" | sed -n 's/^KillProcess("wexwin", \([0-9][0-9]*\), 1) -> 1$/\1/p' | head -n1)
    check_log_order "$log" "call" \
        "SetLogFile(\"$dir\\install.log\") -> 1" \
        "SetSilentMode(1) -> 0" \
        "SetWaitLimit(15000) -> 0" \
        "AddFileItem(\"$items\", \"MERCHANT_NAME\", \"ACME Store\") -> 1" \
        "AddFileItem(\"$items\", \"PORT\", \"80\") -> 1" \
        "SetFileItem(\"$items\", \"PORT\", \"8443\") -> 1" \
        "GetFileItem(\"$items\", \"PORT\", buf) -> 1 \"8443\"" \
        "ComputeMerchID(\"$merchant\", buf) -> 0 \"$merchant_id\"" \
        "SetFileItem(\"$items\", \"MERCHANT_ID\", \"$merchant_id\") -> 1" \
        "MakeKeys(\"$dir\", \"$merchant\", <${#seed} bytes>) -> 1" \
        "SubstituteKeys(\"$dir\\merchants\\$merchant\\$merchant.key\", \"$items\", buf) -> 1 \"$pub_logged\"" \
        "SetFileItem(\"$items\", \"KEYS_INSTALLED\", \"yes\") -> 1" \
        "GetFileItem(\"$items\", \"MERCHANT_ID\", buf) -> 1 \"$merchant_id\"" \
        "GetAllItemNames(\"$items\", buf) -> 6 \"MERCHANT_NAME&PORT&MERCHANT_ID&MERCHANT_PUBLIC_KEY&MERCHANT_PRIVATE_KEY&KEYS_INSTALLED&\"" \
        "URLEncode(\"ACME Store\", buf) -> 0 \"ACME+Store\"" \
        "URLEncode(\"$merchant_id\", buf) -> 0 \"$merchant_id\"" \
        "SendMsg(\"127.0.0.1\", \"$port\", \"/register\", <${#body} bytes>) -> 1" \
        "InstallService(\"WexMerchantService\", \"\\\"$dir\\bin\\testservice.exe\\\" prompt\", 3) -> 1" \
        "BeginService(\"WexMerchantService\") -> 1" \
        "ServiceRunning(\"WexMerchantService\") -> 1" \
        "StopService(\"WexMerchantService\") -> 1" \
        "UnInstallService(\"WexMerchantService\") -> 1" \
        "ServiceExists(\"WexMerchantService\") -> 0" \
        "SetRegMultiSz(\"$comps\", \"Components_Payment\", \"WexPay.Card\") -> 1" \
        "SetRegMultiSz(\"$comps\", \"Components_Trial\", \"WexPay.Trial\") -> 1" \
        "EnumKeys(\"$stores\", 0, buf) -> 1 \"$merchant\"" \
        "EnumKeys(\"$stores\", 1, buf) -> 0 \"\"" \
        "RegRemovePayComponent(\"$merchant\") -> 1" \
        "SetRegMultiSz(\"$comps\", \"Components_Payment\", \"WexPay.Card+WexPay.Invoice\") -> 1" \
        "RegRemoveValue(\"$comps\", \"Components_Trial\") -> 1" \
        "RunCommand(\"\\\"$dir\\bin\\wexwin.exe\\\" \\\"ACME Store console\\\"\", \"$dir\\bin\") -> 1" \
        "GetPID(\"wexwin\") -> ${pid:-<a process id>}" \
        "KillProcess(\"wexwin\", ${pid:-<that id>}, 1) -> 1" \
        "GetPID(\"wexwin\") -> 0"
    if [ "$(log_events "$log" | tail -n1)" = 'SetLogFile("") -> 1' ]; then
        ok "log: closed by its last line, SetLogFile(\"\") -> 1"
    else
        fail "log: the last line is not SetLogFile(\"\") -> 1"
    fi
    check_absent "seed text" "$seed" "$log"
    # The demo server's reply quotes the body back, and the library logs every
    # reply line: those lines aside, the body must not show.
    local leaked
    leaked=$(log_events "$log" | grep -F -- "$body" | grep -v -E '^(box \[SendMsg\] |stdout: )' || true)
    if [ -z "$leaked" ]; then
        ok "no form body in clear outside the server's reply lines"
    else
        fail "form body in clear: $leaked"
    fi
    if log_events "$log" | grep -q -x -F 'box [SendMsg] HTTP/1.0 200 OK\r\n (suppressed)'; then
        ok "log: the reply's boxes were suppressed (silent mode)"
    else
        fail "log: no suppressed reply box \"HTTP/1.0 200 OK\""
    fi
    if grep -q -F '(shown)' "$log"; then fail "log: a message box was shown in silent mode"; else ok "log: no message box shown"; fi
}

for t in "${runnable[@]}"; do
    run_macros "$t"
    run_provision "$t"
done

echo "== The form server"
wex_stop_form_server
posts=$(grep -o -F "$body" "$scratch/http/requests.log" 2>/dev/null | wc -l)
if [ "$posts" = "${#runnable[@]}" ]; then
    ok "received the registration body \"$body\" once per run (${#runnable[@]})"
else
    fail "received the registration body $posts times, expected ${#runnable[@]}"
fi

echo "== Summary"
echo "   built:   $(for t in "${targets[@]}"; do printf 'provision-%s.exe macros-%s.exe ' "$t" "$t"; done)"
echo "   run:     $(for t in "${runnable[@]}"; do printf 'provision-%s.exe macros-%s.exe ' "$t" "$t"; done)"
if [ -n "$why_not_run" ]; then
    echo "   not run: provision-x86-ansi.exe macros-x86-ansi.exe: $why_not_run"
fi
if [ "$failures" -ne 0 ]; then
    echo "nsis-test: $failures checks FAILED"
    exit 1
fi
echo "nsis-test: all checks passed"
