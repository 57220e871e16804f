// quorin_bench: the core's benchmark without Google Benchmark, for both builds (the 32-bit
// Windows one runs it under Wine).
//   quorin_bench [size...]       median MB/s and events/s per operation for each size, and
//                                a copy of the output with memcpy: the floor for any writer
//   quorin_bench --memory size   peak memory of one whole conversion, in a fresh process
// Sizes are bytes with an optional K or M suffix; the default is 20K 256K 2M 32M.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "peak_memory.h"
#include "workload.h"

namespace {

using Clock = std::chrono::steady_clock;

std::uint32_t parseSize(const char* text) {
    char* end = nullptr;
    unsigned long value = std::strtoul(text, &end, 10);
    if (*end == 'K' || *end == 'k') value *= 1024;
    if (*end == 'M' || *end == 'm') value *= 1024 * 1024;
    return static_cast<std::uint32_t>(value);
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

double seconds(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double>(to - from).count();
}

volatile std::uint8_t copySink = 0;

void runSize(std::uint32_t size) {
    const std::vector<std::uint8_t> input = bench::generateFile(size);
    const std::uint32_t length = static_cast<std::uint32_t>(input.size());
    smf::SmfReader reader;
    smf::SmfWriter writer;
    smf::Song song;
    smf::ByteBuffer output;
    if (!reader.parse(input.data(), length, song, false)) {
        std::fprintf(stderr, "generated file does not parse: %s\n", smf::describeParseRule(reader.failure().rule));
        std::exit(1);
    }
    const std::uint64_t events = bench::countEvents(song);
    // The floor for any writer: copying the bytes written, into memory already touched.
    smf::SmfWriter().writeSong(song, output, true);
    const std::vector<std::uint8_t> written(output.data(), output.data() + output.length());
    std::vector<std::uint8_t> copy(written.size());

    // Enough repetitions for about a second of the whole conversion, at least 5.
    const int runs = std::max(5, std::min(2000, static_cast<int>(400e6 / length)));
    std::vector<double> parse, writeOn, writeOff, release, convert, floor;
    for (int i = 0; i < runs; ++i) {
        const auto c0 = Clock::now();
        std::memcpy(copy.data(), written.data(), copy.size());
        floor.push_back(seconds(c0, Clock::now()));
        copySink = copy[i % copy.size()];  // the copy is used, so it is made
        const auto t0 = Clock::now();
        reader.parse(input.data(), length, song, false);
        const auto t1 = Clock::now();
        writer.writeSong(song, output, true);
        const auto t2 = Clock::now();
        writer.writeSong(song, output, false);
        const auto t3 = Clock::now();
        song.reset();
        output.resize(0);
        const auto t4 = Clock::now();
        parse.push_back(seconds(t0, t1));
        writeOn.push_back(seconds(t1, t2));
        writeOff.push_back(seconds(t2, t3));
        release.push_back(seconds(t3, t4));
        convert.push_back(seconds(t0, t2) + seconds(t3, t4));  // parse, write with running status, release
    }
    const double mb = length / 1e6;
    auto line = [&](const char* name, const std::vector<double>& times) {
        const double t = median(times);
        std::printf("%-10u %-28s %9.3f ms %9.1f MB/s %8.1f Mevents/s\n", length, name, t * 1e3, mb / t,
                    events / t / 1e6);
    };
    std::printf("%-10u %llu events, %d runs\n", length, static_cast<unsigned long long>(events), runs);
    line("parse", parse);
    line("write (running status)", writeOn);
    line("write (no running status)", writeOff);
    line("release", release);
    line("parse+write+release", convert);
    line("memcpy of the output", floor);
}

// One conversion as the program does it: input, Song and output alive together.
int measureMemory(std::uint32_t size) {
    const bench::PeakMemory before = bench::peakMemory();
    const std::vector<std::uint8_t> input = bench::generateFile(size);
    const std::uint32_t length = static_cast<std::uint32_t>(input.size());
    smf::SmfReader reader;
    smf::Song song;
    smf::ByteBuffer output;
    if (!reader.parse(input.data(), length, song, false)) return 1;
    smf::SmfWriter().writeSong(song, output, false);
    const bench::PeakMemory peak = bench::peakMemory();
    const std::uint64_t events = bench::countEvents(song);
    std::printf("%u bytes in, %u bytes out, %llu events\n", length, output.length(),
                static_cast<unsigned long long>(events));
    std::printf("peak resident   %8.1f MB = %5.2f bytes per input byte (%5.2f above the start-up peak)\n",
                peak.residentBytes / 1e6, double(peak.residentBytes) / length,
                double(peak.residentBytes - before.residentBytes) / length);
    if (peak.committedBytes != 0) {
        std::printf("peak committed  %8.1f MB = %5.2f bytes per input byte (%5.2f above the start-up peak)\n",
                    peak.committedBytes / 1e6, double(peak.committedBytes) / length,
                    double(peak.committedBytes - before.committedBytes) / length);
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--memory") == 0) return measureMemory(parseSize(argv[2]));
    std::vector<std::uint32_t> sizes;
    for (int i = 1; i < argc; ++i) sizes.push_back(parseSize(argv[i]));
    if (sizes.empty()) sizes = {20u << 10, 256u << 10, 2u << 20, 32u << 20};
    for (std::uint32_t size : sizes) runSize(size);
    return 0;
}
