#include <iostream>

#include "cli.h"

int main(int argc, char** argv) {
    return mkwin::runMkwin(argc, argv, std::cout, std::cerr);
}
