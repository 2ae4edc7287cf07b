// Rewrites an item file for ever, setting PORT to 1111 and 2222 in turn,
// until it is ended: the process that the kill test ends mid-rewrite.
//
//   rewriter ITEMFILE
#include <cstdio>

#include "wexlib.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: rewriter ITEMFILE\n");
        return 2;
    }
    for (unsigned round = 0;; ++round) {
        if (SetFileItem(argv[1], "PORT", round % 2 ? "1111" : "2222") != 1) return 1;
    }
}
