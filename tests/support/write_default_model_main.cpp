// Writes the default synthetic model file: ovcg_write_model <path>.
#include "support/model.h"

#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <model.res>\n", argv[0]);
        return 2;
    }
    if (!ovcg_test::build_model(ovcg_test::default_model()).write_file(argv[1])) {
        std::fprintf(stderr, "cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
