// quorin_gbench: the core's operations under Google Benchmark, on generated files from
// 20 KB to 32 MB. bytes_per_second counts input bytes; events is a rate of events.
#include <benchmark/benchmark.h>

#include <chrono>
#include <map>

#include "workload.h"

namespace {

const std::vector<std::uint8_t>& input(std::int64_t size) {
    static std::map<std::int64_t, std::vector<std::uint8_t>> files;
    auto& file = files[size];
    if (file.empty()) file = bench::generateFile(static_cast<std::uint32_t>(size));
    return file;
}

void setCounters(benchmark::State& state, std::size_t bytes, std::uint64_t events) {
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes));
    state.counters["events"] = benchmark::Counter(double(events), benchmark::Counter::kIsIterationInvariantRate);
}

void parse(benchmark::State& state) {
    const auto& file = input(state.range(0));
    smf::SmfReader reader;
    smf::Song song;
    for (auto _ : state) {
        benchmark::DoNotOptimize(reader.parse(file.data(), std::uint32_t(file.size()), song, false));
    }
    setCounters(state, file.size(), bench::countEvents(song));
}

void write(benchmark::State& state) {
    const auto& file = input(state.range(0));
    smf::SmfReader reader;
    smf::Song song;
    reader.parse(file.data(), std::uint32_t(file.size()), song, false);
    smf::ByteBuffer output;
    for (auto _ : state) {
        benchmark::DoNotOptimize(smf::SmfWriter().writeSong(song, output, state.range(1) != 0));
    }
    setCounters(state, file.size(), bench::countEvents(song));
}

void release(benchmark::State& state) {
    const auto& file = input(state.range(0));
    smf::SmfReader reader;
    smf::Song song;
    std::uint64_t events = 0;
    for (auto _ : state) {
        reader.parse(file.data(), std::uint32_t(file.size()), song, false);
        events = bench::countEvents(song);
        const auto start = std::chrono::steady_clock::now();
        song.reset();
        state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    setCounters(state, file.size(), events);
}

// What one file of a conversion costs: parse, write with the option on, release.
void convert(benchmark::State& state) {
    const auto& file = input(state.range(0));
    smf::SmfReader reader;
    std::uint64_t events = 0;
    for (auto _ : state) {
        smf::Song song;
        smf::ByteBuffer output;
        reader.parse(file.data(), std::uint32_t(file.size()), song, false);
        smf::SmfWriter().writeSong(song, output, state.range(1) != 0);
        events = bench::countEvents(song);
    }
    setCounters(state, file.size(), events);
}

void sizes(benchmark::internal::Benchmark* b) {
    for (std::int64_t size : {20 << 10, 256 << 10, 2 << 20, 32 << 20}) b->Arg(size);
}
void sizesAndOption(benchmark::internal::Benchmark* b) {
    for (std::int64_t size : {20 << 10, 256 << 10, 2 << 20, 32 << 20}) {
        for (std::int64_t option : {1, 0}) b->Args({size, option});
    }
}

}  // namespace

BENCHMARK(parse)->Apply(sizes)->Unit(benchmark::kMillisecond);
BENCHMARK(write)->Apply(sizesAndOption)->ArgNames({"size", "running_status"})->Unit(benchmark::kMillisecond);
BENCHMARK(release)->Apply(sizes)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(convert)->Apply(sizesAndOption)->ArgNames({"size", "running_status"})->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
