// Benchmark workloads: generated Standard MIDI Files of realistic shape, and the core's
// operations on them, shared by the Google Benchmark program and the self-timing one.
#pragma once

#include <cstdint>
#include <vector>

#include "smf/reader.h"
#include "smf/writer.h"

namespace bench {

// A format 1 file of 16 tracks and about targetBytes bytes (a few hundred more at most):
// a conductor track of tempo, time and key signatures and markers, then 15 channel tracks
// of chords and melodies whose note-offs are velocity-0 note-ons under running status,
// mixed with controllers, pitch-bend sweeps, program changes, SysEx, lyrics and deltas
// from 0 to several thousand ticks. Deterministic for a given size. The vector is reserved
// once (a few KB above the target), so a caller measuring memory sees no growth copies.
std::vector<std::uint8_t> generateFile(std::uint32_t targetBytes);

std::uint64_t countEvents(const smf::Song& song);

}  // namespace bench
