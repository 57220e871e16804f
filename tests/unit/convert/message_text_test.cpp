// The string loader's buffer growth.
#include "convert/message_text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace convert {
namespace {

// The loader behaves as LoadStringA does: it copies at most capacity - 1 bytes and a NUL and
// returns the count copied; length 0 stands for a missing entry.
TEST(LoadTextGrowing, GrowsWhileFewerThanThreeBytesAreLeft) {
    struct Case {
        std::size_t length;
        std::vector<int> capacities;
    };
    for (const Case& c : {Case{0, {256}}, Case{1, {256}}, Case{253, {256}}, Case{254, {256, 512}},
                          Case{255, {256, 512}}, Case{509, {256, 512}}, Case{510, {256, 512, 768}}}) {
        std::string text(c.length, 'x');
        if (!text.empty()) text[0] = '\x82';  // a double-byte lead byte is just a byte here
        std::vector<int> capacities;
        std::string loaded = "old";
        const bool found = loadTextGrowing(loaded, [&](char* buffer, int capacity) {
            capacities.push_back(capacity);
            const int n = std::min(static_cast<int>(text.size()), capacity - 1);
            std::memcpy(buffer, text.data(), static_cast<std::size_t>(n));
            buffer[n] = '\0';
            return n;
        });
        EXPECT_EQ(found, c.length != 0) << c.length;
        EXPECT_EQ(loaded, text) << c.length;
        EXPECT_EQ(capacities, c.capacities) << c.length;
    }
}

}  // namespace
}  // namespace convert
