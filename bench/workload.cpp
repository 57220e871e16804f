// The benchmark's file generator.
#include "workload.h"

namespace bench {

namespace {

class Rng {
public:
    std::uint32_t next() {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 17;
        state_ ^= state_ << 5;
        return state_;
    }
    std::uint32_t below(std::uint32_t n) { return next() % n; }

private:
    std::uint32_t state_ = 0x9E3779B9u;
};

class Out {
public:
    explicit Out(std::vector<std::uint8_t>& bytes) : bytes_(bytes) {}
    void byte(std::uint32_t b) { bytes_.push_back(static_cast<std::uint8_t>(b)); }
    void bytes(std::initializer_list<std::uint32_t> list) {
        for (std::uint32_t b : list) byte(b);
    }
    void be32(std::uint32_t v) { bytes({v >> 24, (v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF}); }
    void varLen(std::uint32_t v) {
        std::uint8_t encoded[4];
        const std::uint32_t n = smf::encodeVarLen(v, encoded);
        for (std::uint32_t i = 0; i < n; ++i) byte(encoded[i]);
    }
    void text(std::uint32_t type, const char* s, std::uint32_t length) {
        bytes({0xFF, type});
        varLen(length);
        for (std::uint32_t i = 0; i < length; ++i) byte(static_cast<std::uint8_t>(s[i]));
    }
    std::size_t size() const { return bytes_.size(); }
    std::vector<std::uint8_t>& raw() { return bytes_; }

private:
    std::vector<std::uint8_t>& bytes_;
};

// Typical spacing: mostly chord members (0) and short note values, now and then a rest.
std::uint32_t delta(Rng& rng) {
    const std::uint32_t r = rng.below(100);
    if (r < 35) return 0;
    if (r < 80) return 1 + rng.below(120);
    if (r < 97) return 120 + rng.below(840);
    return 960 + rng.below(6000);
}

void channelTrack(Out& out, Rng& rng, std::uint32_t channel, std::size_t budget) {
    const std::size_t start = out.size();
    const char* const lyrics = "la li lu le lo ah oh";
    std::uint32_t running = 0;
    out.byte(0);
    out.bytes({0xC0 | channel, rng.below(128)});
    auto status = [&](std::uint32_t s) {
        if (s != running) out.byte(s);
        running = s;
    };
    while (out.size() - start < budget) {
        const std::uint32_t r = rng.below(1000);
        if (r < 900) {
            // A chord or a single note: note-ons, then velocity-0 note-offs.
            const std::uint32_t notes = 1 + rng.below(3), root = 36 + rng.below(48);
            for (std::uint32_t i = 0; i < notes; ++i) {
                out.varLen(i == 0 ? delta(rng) : 0);
                status(0x90 | channel);
                out.bytes({root + 4 * i, 40 + rng.below(80)});
            }
            for (std::uint32_t i = 0; i < notes; ++i) {
                out.varLen(i == 0 ? 1 + rng.below(480) : 0);
                status(0x90 | channel);
                out.bytes({root + 4 * i, 0});
            }
        } else if (r < 960) {
            out.varLen(delta(rng));
            status(0xB0 | channel);
            out.bytes({rng.below(2) ? 7u : 1u + rng.below(100), rng.below(128)});
        } else if (r < 985) {
            for (std::uint32_t i = 0, n = 4 + rng.below(12); i < n; ++i) {
                out.varLen(rng.below(10));
                status(0xE0 | channel);
                out.bytes({rng.below(128), 32 + i * 4});
            }
        } else if (r < 990) {
            out.varLen(delta(rng));
            status(0xC0 | channel);
            out.byte(rng.below(128));
        } else if (r < 995) {
            out.varLen(delta(rng));
            out.bytes({0xF0, 0x0A, 0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0x7F, 0x00, 0x41, 0xF7});
            running = 0;
        } else {
            out.varLen(delta(rng));
            out.text(0x05, lyrics + rng.below(10), 2 + rng.below(9));
            running = 0;
        }
    }
    out.bytes({0x00, 0xFF, 0x2F, 0x00});
}

void conductorTrack(Out& out, Rng& rng, std::size_t budget) {
    const std::size_t start = out.size();
    out.byte(0);
    out.text(0x03, "Benchmark song", 14);
    out.bytes({0x00, 0xFF, 0x58, 0x04, 0x04, 0x02, 0x18, 0x08, 0x00, 0xFF, 0x59, 0x02, 0x00, 0x00});
    while (out.size() - start < budget) {
        out.varLen(960 * (1 + rng.below(8)));
        if (rng.below(4) == 0) {
            out.text(0x06, "Section", 7);
        } else {
            const std::uint32_t tempo = 400000 + rng.below(200000);
            out.bytes({0xFF, 0x51, 0x03, tempo >> 16, (tempo >> 8) & 0xFF, tempo & 0xFF});
        }
    }
    out.bytes({0x00, 0xFF, 0x2F, 0x00});
}

}  // namespace

std::vector<std::uint8_t> generateFile(std::uint32_t targetBytes) {
    constexpr std::uint32_t kTracks = 16, kSlack = 256 * kTracks;  // no track overshoots by more
    std::vector<std::uint8_t> bytes;
    bytes.reserve(targetBytes + kSlack);
    Out out(bytes);
    Rng rng;
    out.bytes({'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1, 0, kTracks, 0x01, 0xE0});
    const std::size_t trackData = targetBytes > 14 + 8 * kTracks ? targetBytes - 14 - 8 * kTracks : 0;
    for (std::uint32_t t = 0; t < kTracks; ++t) {
        out.bytes({'M', 'T', 'r', 'k', 0, 0, 0, 0});
        const std::size_t start = out.size();
        const std::size_t budget = t == 0 ? trackData / 200 : (trackData - trackData / 200) / (kTracks - 1);
        if (t == 0) {
            conductorTrack(out, rng, budget);
        } else {
            channelTrack(out, rng, t - 1 < 9 ? t - 1 : t, budget);  // channel 10 is drums
        }
        const std::uint32_t length = static_cast<std::uint32_t>(out.size() - start);
        for (int i = 0; i < 4; ++i) bytes[start - 4 + i] = static_cast<std::uint8_t>(length >> (24 - 8 * i));
    }
    return bytes;
}

std::uint64_t countEvents(const smf::Song& song) {
    std::uint64_t events = 0;
    for (const smf::Track& track : song.tracks()) events += track.eventCount();
    return events;
}

}  // namespace bench
