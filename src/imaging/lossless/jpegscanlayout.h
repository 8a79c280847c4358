#pragma once

#include "imaging/lossless/jpeghuffman.h"

#include <QByteArray>

#include <array>
#include <optional>
#include <vector>

// What the splicer needs to know of a JPEG before its entropy-coded data: the frame, the
// tables, the restart interval, and where the data and its restart markers stand.
namespace JpegSplice {

struct ScanComponent {
    int id = 0, h = 1, v = 1, quant = 0, dc = 0, ac = 0;
};

struct Layout {
    int width = 0, height = 0;
    std::vector<ScanComponent> comps;
    int maxH = 1, maxV = 1;
    std::array<std::array<uint16_t, 64>, 4> quant{}; // natural order
    std::array<bool, 4> quantPresent{};
    std::array<HuffmanTable, 4> dcTables, acTables;
    QByteArray header;     // everything the output keeps before the entropy-coded data
    qsizetype dataStart = 0, dataEnd = 0;
    int restartInterval = 0;             // MCUs from one restart marker to the next
    std::vector<qsizetype> restartAt;    // where each restart marker (its 0xFF) stands
};

// Reads the markers up to the scan and finds the end of its data. Nothing when the file
// is not a single-scan sequential Huffman JPEG whose restart markers, if any, stand in
// their order and count, or when its data (or a restart interval's) is too short for its
// MCUs.
std::optional<Layout> readLayout(const QByteArray &b);

// The fewest bits an MCU can take: each block has a DC code and at least one AC code (a
// coefficient or the end of block). Data cut short and closed with an end marker is
// caught by it, where the splicer copies data it does not decode.
int64_t minimumMcuBits(const Layout &l);

} // namespace JpegSplice
