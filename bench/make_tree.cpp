// pelmaro-make-tree FOLDER PAGES: writes the synthetic tree the benchmarks use.
#include <cstdio>
#include <cstdlib>

#include "bench/synthetic_tree.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fputs("usage: pelmaro-make-tree FOLDER PAGES\n", stderr);
        return 2;
    }
    pelmaro::bench::makeSyntheticTree(argv[1], std::strtoul(argv[2], nullptr, 10));
    return 0;
}
