// SPDX-License-Identifier: Apache-2.0
#pragma once

// Sets of 8 x 8 blocks of a 1024 x 768 picture, for tests that say exactly
// which blocks a report marks.

#include <set>
#include <utility>

namespace ombrel::test {

using BlockSet = std::set<std::pair<int, int>>; // (bx, by)

// The blocks for which marked(bx, by) holds.
template <class Marked>
BlockSet blocksWhere(Marked marked) {
    BlockSet blocks;
    for (int by = 0; by < 96; ++by)
        for (int bx = 0; bx < 128; ++bx)
            if (marked(bx, by))
                blocks.insert({bx, by});
    return blocks;
}

} // namespace ombrel::test
