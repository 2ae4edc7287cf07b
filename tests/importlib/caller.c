/* A plain C caller of Wexlib.dll, linked against one of its import
 * libraries the way an installer author's program is: it calls a few
 * exports by name and checks what they return. Exit code 0 when every
 * check holds. */
#include <stdio.h>
#include <string.h>

#include "wexlib.h"

static int failures = 0;

static void check(int holds, const char *what) {
    printf("%s %s\n", holds ? "ok  " : "FAIL", what);
    if (!holds) ++failures;
}

int main(void) {
    char encoded[32];
    char name[] = "ABC";
    char identifier[8];

    check(URLEncode("a b&c", encoded) == 0 && strcmp(encoded, "a+b%26c") == 0, "URLEncode(\"a b&c\") -> 0 \"a+b%26c\"");
    check(ComputeMerchID(name, identifier) == 0 && strcmp(identifier, "ABC-03") == 0 && strcmp(name, "abc") == 0,
          "ComputeMerchID(\"ABC\") -> 0 \"ABC-03\", name \"abc\"");
    check(SetWaitLimit(250) == 0 && SetWaitLimit(0) == 250, "SetWaitLimit(250) -> 0, SetWaitLimit(0) -> 250");
    check(SetSilentMode(1) == 0 && SetSilentMode(0) == 1, "SetSilentMode(1) -> 0, SetSilentMode(0) -> 1");
    check(GetFileItem("C:\\no\\such\\file.ini", "A", NULL) == 0, "GetFileItem on a missing file -> 0");
    check(SendMsgSecure(NULL, "443", "/", "") == 0, "SendMsgSecure with a null host -> 0");
    /* Wide twins of one, two and three arguments: their decorated names link. */
    check(GetPIDW(NULL) == 0 && RunCommandW(NULL, NULL) == 0 && InstallServiceW(NULL, NULL, 3) == 0 &&
              EnumKeysW(NULL, 1, NULL) == 0,
          "GetPIDW, RunCommandW, InstallServiceW, EnumKeysW with null texts -> 0");
    return failures == 0 ? 0 : 1;
}
