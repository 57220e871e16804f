// Running out of memory while parsing or writing a file: the file is reported and kept, and
// the engine goes on. Every allocation of this program can be made to fail.
#include <gtest/gtest.h>

#include <cstdlib>
#include <new>

#include "convert/conversion_engine.h"
#include "fake_file_system.h"
#include "smf_samples.h"

namespace {
bool failAllocations = false;
bool starve = true;  // whether the seams below start failing allocations
}  // namespace

// GCC cannot see that these replacements pair malloc with free.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif

void* operator new(std::size_t size) {
    if (failAllocations) throw std::bad_alloc();
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return ::operator new(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return ::operator new(size);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept { return ::operator new(size, tag); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

namespace convert::testing {
namespace {

// The input block comes without trouble; from then on every allocation fails.
std::uint8_t* allocateThenStarve(std::uint32_t size) {
    auto* block = new std::uint8_t[size];
    failAllocations = starve;
    return block;
}

// Starves the writer: allocations fail once the free space has been asked for.
class StarvingProbe final : public FileSystem {
public:
    FakeFileSystem& inner;
    explicit StarvingProbe(FakeFileSystem& fs) : inner(fs) {}
    PathKind pathKind(const std::string& path, SystemError& error) override { return inner.pathKind(path, error); }
    std::unique_ptr<OpenFile> open(const std::string& path, SystemError& error) override {
        return inner.open(path, error);
    }
    std::string freeSpaceLocation(const std::string& path) override { return inner.freeSpaceLocation(path); }
    bool freeSpace(const std::string& location, std::uint64_t& freeBytes, SystemError& error) override {
        const bool ok = inner.freeSpace(location, freeBytes, error);
        failAllocations = starve;
        return ok;
    }
};

TEST(OutOfMemory, WhileParsingIsReportedAndEngineGoesOn) {
    FakeFileSystem fs;
    fs.add("C:/a.mid", plainSmf());
    ConversionEngine starving(fs, true, allocateThenStarve);
    const FileOutcome outcome = starving.convert("C:/a.mid");
    failAllocations = false;
    EXPECT_EQ(outcome.kind, OutcomeKind::OutOfMemory);
    EXPECT_EQ(fs.bytesOf("C:/a.mid"), plainSmf());
    EXPECT_EQ(fs.openFiles, 0);

    starve = false;
    EXPECT_EQ(starving.convert("C:/a.mid").kind, OutcomeKind::Converted);
    starve = true;
    EXPECT_EQ(fs.bytesOf("C:/a.mid"), runningStatusSmf());
}

TEST(OutOfMemory, WhileWritingIsReportedAndEngineGoesOn) {
    FakeFileSystem fs;
    fs.add("C:/a.mid", plainSmf());
    fs.add("C:/b.mid", plainSmf());
    StarvingProbe starving(fs);
    ConversionEngine engine(starving, true);
    const FileOutcome outcome = engine.convert("C:/a.mid");
    failAllocations = false;
    EXPECT_EQ(outcome.kind, OutcomeKind::OutOfMemory);
    EXPECT_FALSE(outcome.endsRun());
    EXPECT_EQ(fs.bytesOf("C:/a.mid"), plainSmf());
    EXPECT_EQ(fs.openFiles, 0);

    starve = false;
    EXPECT_EQ(engine.convert("C:/b.mid").kind, OutcomeKind::Converted);
    starve = true;
    EXPECT_EQ(fs.bytesOf("C:/b.mid"), runningStatusSmf());
}

}  // namespace
}  // namespace convert::testing
