#include <iostream>

#include "Cli.h"

int main(int argc, char** argv) {
    return trellybridge::cli::run(argc, argv, std::cout, std::cerr);
}
