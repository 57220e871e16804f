// Writes benchmark inputs for quorin-cli with the core benchmark's generator:
//   quorin_cli_generate one PATH BYTES            one file of about BYTES bytes
//   quorin_cli_generate many FOLDER COUNT MIN MAX COUNT files song00000.mid ... of sizes
//                                                 spread evenly from MIN to MAX bytes
// The files are format 1, 16 tracks, written with running status.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "workload.h"

namespace {

bool writeFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return false;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && ok;
}

int usage() {
    std::fprintf(stderr, "usage: quorin_cli_generate one PATH BYTES | many FOLDER COUNT MIN MAX\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() == 3 && args[0] == "one") {
        const auto bytes = static_cast<std::uint32_t>(std::strtoul(args[2].c_str(), nullptr, 10));
        if (!writeFile(args[1], bench::generateFile(bytes))) return 1;
        return 0;
    }
    if (args.size() == 5 && args[0] == "many") {
        const unsigned long count = std::strtoul(args[2].c_str(), nullptr, 10);
        const unsigned long low = std::strtoul(args[3].c_str(), nullptr, 10);
        const unsigned long high = std::strtoul(args[4].c_str(), nullptr, 10);
        if (count == 0 || high < low) return usage();
        for (unsigned long i = 0; i < count; ++i) {
            const unsigned long size = count == 1 ? low : low + (high - low) * i / (count - 1);
            char name[32];
            std::snprintf(name, sizeof name, "/song%05lu.mid", i);
            if (!writeFile(args[1] + name, bench::generateFile(static_cast<std::uint32_t>(size)))) return 1;
        }
        return 0;
    }
    return usage();
}
