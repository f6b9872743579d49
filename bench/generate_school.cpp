// generate-school SCALE FILE: writes the synthetic school's exchange document, for measuring the
// command-line front end (peak memory with /usr/bin/time -v, for instance).
#include "generator.h"

#include <cstdlib>
#include <fstream>
#include <iostream>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "Uso: generate-school ESCALA ARCHIVO\n";
        return 64;
    }
    const std::string document = tdb::bench::exchangeDocument(std::atoi(argv[1]));
    std::ofstream out(argv[2], std::ios::binary);
    out.write(document.data(), static_cast<std::streamsize>(document.size()));
    return out ? 0 : 1;
}
