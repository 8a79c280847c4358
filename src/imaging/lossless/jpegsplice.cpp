#include "imaging/lossless/jpegsplice.h"

#include "imaging/lossless/jpeghuffman.h"
#include "imaging/lossless/jpegrestamp.h"
#include "imaging/lossless/jpegscanlayout.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <vector>

namespace JpegSplice {

namespace {

// The geometry of the scan in MCUs.
struct McuGrid {
    int width = 0, height = 0;   // MCU size in pixels
    int across = 0, rows = 0;
};

McuGrid mcuGrid(const Layout &l)
{
    McuGrid g;
    g.width = 8 * l.maxH;
    g.height = 8 * l.maxV;
    g.across = (l.width + g.width - 1) / g.width;
    g.rows = (l.height + g.height - 1) / g.height;
    return g;
}

// The coefficients of a band of whole MCU rows, per component.
class BlockRows
{
public:
    BlockRows(const Layout &l, const McuGrid &g, int firstRow, int lastRow)
        : m_layout(l), m_grid(g), m_firstRow(firstRow), m_lastRow(lastRow)
    {
        for (const ScanComponent &c : l.comps) {
            const size_t across = size_t(g.across) * size_t(c.h);
            m_blocks.emplace_back(across * size_t(lastRow - firstRow + 1) * size_t(c.v) * 64, short(0));
        }
    }

    // Block (bx, by) of component ci, counted over the whole picture; null outside the band.
    short *at(int ci, int bx, int by)
    {
        const ScanComponent &c = m_layout.comps[size_t(ci)];
        const int across = m_grid.across * c.h;
        const int brow = by - m_firstRow * c.v;
        if (bx < 0 || bx >= across || brow < 0 || brow >= (m_lastRow - m_firstRow + 1) * c.v)
            return nullptr;
        return &m_blocks[size_t(ci)][(size_t(brow) * size_t(across) + size_t(bx)) * 64];
    }
    // Block (bx, by) of component ci within MCU number mcu of the picture.
    short *inMcu(int mcu, int ci, int bx, int by)
    {
        const ScanComponent &c = m_layout.comps[size_t(ci)];
        return at(ci, (mcu % m_grid.across) * c.h + bx, (mcu / m_grid.across) * c.v + by);
    }

private:
    const Layout &m_layout;
    const McuGrid &m_grid;
    int m_firstRow, m_lastRow;
    std::vector<std::vector<short>> m_blocks;
};

// Runs fn(ci, dc table, ac table, bx, by) for every block of an MCU, in scan order.
template <typename Fn>
bool forEachBlock(const Layout &l, Fn &&fn)
{
    for (size_t ci = 0; ci < l.comps.size(); ++ci) {
        const ScanComponent &c = l.comps[ci];
        const HuffmanTable &dc = l.dcTables[size_t(c.dc)];
        const HuffmanTable &ac = l.acTables[size_t(c.ac)];
        for (int by = 0; by < c.v; ++by)
            for (int bx = 0; bx < c.h; ++bx)
                if (!fn(int(ci), dc, ac, bx, by))
                    return false;
    }
    return true;
}

std::vector<JpegRestamp::Component> restampComponents(const Layout &l)
{
    std::vector<JpegRestamp::Component> comps(l.comps.size());
    for (size_t ci = 0; ci < l.comps.size(); ++ci) {
        comps[ci].sx = l.maxH / l.comps[ci].h;
        comps[ci].sy = l.maxV / l.comps[ci].v;
        for (int k = 0; k < 64; ++k)
            comps[ci].quant[size_t(k)] = float(l.quant[size_t(l.comps[ci].quant)][size_t(k)]);
    }
    return comps;
}

int restampBand(const Layout &l, BlockRows &band, const QRect &region,
                const JpegLossless::PaintFn &paint)
{
    const auto blockAt = [&band](int ci, int bx, int by, bool) { return band.at(ci, bx, by); };
    return JpegRestamp::restamp(restampComponents(l), blockAt, region, QSize(l.width, l.height), paint);
}

// The output's first bytes: the coding segments the file keeps, room for all the rest.
std::vector<uint8_t> outputWithHeader(const QByteArray &source, const Layout &l)
{
    std::vector<uint8_t> out;
    out.reserve(size_t(source.size()) + 65536);
    out.insert(out.end(), l.header.constBegin(), l.header.constEnd());
    return out;
}

JpegLossless::Result finished(std::vector<uint8_t> &&out, const Layout &l, int blocksEncoded)
{
    out.push_back(0xFF);
    out.push_back(0xD9);
    JpegLossless::Result result;
    result.bytes = QByteArray(reinterpret_cast<const char *>(out.data()), qsizetype(out.size()));
    result.size = QSize(l.width, l.height);
    result.blocksEncoded = blocksEncoded;
    return result;
}

// Without restart markers: the data before the stamp's rows is parsed and copied, the
// stamp's rows and the one after them (whose first DC difference changes) coded again,
// the rest copied bit for bit at its new bit position.
JpegLossless::Result stampContinuous(const QByteArray &source, const Layout &l, const QRect &region,
                                     const JpegLossless::PaintFn &paint)
{
    const McuGrid g = mcuGrid(l);
    const auto *stuffed = reinterpret_cast<const uint8_t *>(source.constData()) + l.dataStart;
    const size_t stuffedSize = size_t(l.dataEnd - l.dataStart);
    std::vector<size_t> stuffingAt;
    size_t dataSize = 0;
    const std::vector<uint8_t> data = unstuffed(stuffed, stuffedSize, dataSize, &stuffingAt);

    const int firstRow = region.top() / g.height;
    const int lastRow = std::min(g.rows - 1, region.bottom() / g.height + 1);
    const size_t n = l.comps.size();
    std::vector<int> pred(n, 0), predAtFirst(n, 0);
    BlockRows band(l, g, firstRow, lastRow);
    BitReader in(data.data(), dataSize);
    size_t firstBit = dataSize * 8, tailBit = dataSize * 8;
    for (int row = 0; row <= lastRow; ++row) {
        if (row == firstRow) {
            firstBit = in.position();
            predAtFirst = pred;
        }
        for (int mx = 0; mx < g.across; ++mx) {
            const int mcu = row * g.across + mx;
            const bool ok = forEachBlock(l, [&](int ci, const HuffmanTable &dc, const HuffmanTable &ac, int bx, int by) {
                if (row < firstRow)
                    return skipBlock(in, dc, ac, pred[size_t(ci)]);
                return decodeBlock(in, dc, ac, pred[size_t(ci)], band.inMcu(mcu, ci, bx, by));
            });
            if (!ok || in.overrun())
                return {};
        }
    }
    if (lastRow + 1 < g.rows)
        tailBit = in.position();
    // The rest is copied undecoded; data too short for its MCUs is damage the copy would hide.
    if (int64_t(dataSize * 8 - tailBit) < int64_t(g.rows - 1 - lastRow) * g.across * minimumMcuBits(l))
        return {};

    const int blocksEncoded = restampBand(l, band, region, paint);
    if (blocksEncoded < 0)
        return {};

    // The header, the data before the first row rewritten as it was, the rows rewritten,
    // the rest shifted to where it now starts.
    std::vector<uint8_t> out = outputWithHeader(source, l);
    const size_t headBytes = firstBit / 8;
    const size_t stuffedHead = headBytes + size_t(std::lower_bound(stuffingAt.begin(), stuffingAt.end(), headBytes + 1) - stuffingAt.begin());
    out.insert(out.end(), stuffed, stuffed + std::min(stuffedHead, stuffedSize));
    BitWriter w(out);
    if (firstBit % 8 && headBytes < dataSize)
        w.put(uint32_t(data[headBytes] >> (8 - firstBit % 8)), int(firstBit % 8));
    pred = predAtFirst;
    for (int mcu = firstRow * g.across; mcu < (lastRow + 1) * g.across; ++mcu)
        forEachBlock(l, [&](int ci, const HuffmanTable &dc, const HuffmanTable &ac, int bx, int by) {
            encodeBlock(w, dc, ac, pred[size_t(ci)], band.inMcu(mcu, ci, bx, by));
            return true;
        });
    const size_t totalBits = dataSize * 8;
    size_t bit = tailBit;
    while (bit + 32 <= totalBits) {
        uint64_t v;
        std::memcpy(&v, data.data() + bit / 8, 8);
        v = __builtin_bswap64(v);
        w.put(uint32_t((v << (bit % 8)) >> 32), 32);
        bit += 32;
    }
    while (bit < totalBits) {
        w.put((data[bit / 8] >> (7 - bit % 8)) & 1, 1);
        ++bit;
    }
    w.flush();
    return finished(std::move(out), l, blocksEncoded);
}

// With restart markers every interval starts on a whole byte with fresh DC predictions:
// the intervals that hold the stamp's MCUs are decoded and coded again, every other byte
// is copied as it is, markers included. Nothing before the stamp needs parsing.
JpegLossless::Result stampIntervals(const QByteArray &source, const Layout &l, const QRect &region,
                                    const JpegLossless::PaintFn &paint)
{
    const McuGrid g = mcuGrid(l);
    const int ri = l.restartInterval;
    // The region's first and last MCU in scan order: every MCU of the region lies between.
    const int firstMcu = (region.top() / g.height) * g.across + region.left() / g.width;
    const int lastMcu = (region.bottom() / g.height) * g.across + region.right() / g.width;
    const int firstInterval = firstMcu / ri, lastInterval = lastMcu / ri;
    const int startMcu = firstInterval * ri;
    const int endMcu = std::min(g.across * g.rows, (lastInterval + 1) * ri); // one past
    // Interval k's bytes run from the end of the marker before it to the marker after it.
    const auto intervalStart = [&l](int k) {
        return k == 0 ? l.dataStart : l.restartAt[size_t(k - 1)] + 2;
    };
    const auto intervalEnd = [&l](int k) {
        return size_t(k) < l.restartAt.size() ? l.restartAt[size_t(k)] : l.dataEnd;
    };

    BlockRows band(l, g, startMcu / g.across, (endMcu - 1) / g.across);
    const size_t n = l.comps.size();
    for (int k = firstInterval; k <= lastInterval; ++k) {
        const qsizetype from = intervalStart(k), to = intervalEnd(k);
        size_t dataSize = 0;
        const std::vector<uint8_t> data = unstuffed(
            reinterpret_cast<const uint8_t *>(source.constData()) + from, size_t(to - from), dataSize);
        BitReader in(data.data(), dataSize);
        std::vector<int> pred(n, 0);
        for (int mcu = k * ri; mcu < std::min(endMcu, (k + 1) * ri); ++mcu) {
            const bool ok = forEachBlock(l, [&](int ci, const HuffmanTable &dc, const HuffmanTable &ac, int bx, int by) {
                return decodeBlock(in, dc, ac, pred[size_t(ci)], band.inMcu(mcu, ci, bx, by));
            });
            if (!ok || in.overrun())
                return {};
        }
    }

    const int blocksEncoded = restampBand(l, band, region, paint);
    if (blocksEncoded < 0)
        return {};

    std::vector<uint8_t> out = outputWithHeader(source, l);
    const auto *bytes = reinterpret_cast<const uint8_t *>(source.constData());
    out.insert(out.end(), bytes + l.dataStart, bytes + intervalStart(firstInterval));
    for (int k = firstInterval; k <= lastInterval; ++k) {
        if (k > firstInterval) {
            out.push_back(0xFF);
            out.push_back(uint8_t(0xD0 + (k - 1) % 8));
        }
        BitWriter w(out);
        std::vector<int> pred(n, 0);
        for (int mcu = k * ri; mcu < std::min(endMcu, (k + 1) * ri); ++mcu)
            forEachBlock(l, [&](int ci, const HuffmanTable &dc, const HuffmanTable &ac, int bx, int by) {
                encodeBlock(w, dc, ac, pred[size_t(ci)], band.inMcu(mcu, ci, bx, by));
                return true;
            });
        w.flush();
    }
    out.insert(out.end(), bytes + intervalEnd(lastInterval), bytes + l.dataEnd);
    return finished(std::move(out), l, blocksEncoded);
}

} // namespace

JpegLossless::Result stamp(const QByteArray &source, const JpegLossless::AreaFn &areaOf,
                           const JpegLossless::PaintFn &paint)
{
    const std::optional<Layout> found = readLayout(source);
    if (!found)
        return {};
    const Layout &l = *found;
    const QSize picture(l.width, l.height);
    const QRect area = areaOf(picture) & QRect(QPoint(0, 0), picture);
    if (area.isEmpty()) {
        // Nothing is drawn: the data stays as it is.
        JpegLossless::Result result;
        result.bytes = l.header + source.mid(l.dataStart, l.dataEnd - l.dataStart) + QByteArray("\xFF\xD9", 2);
        result.size = picture;
        return result;
    }
    const QRect region = JpegRestamp::mcuRegion(area, picture, l.maxH, l.maxV);
    return l.restartInterval > 0 ? stampIntervals(source, l, region, paint)
                                 : stampContinuous(source, l, region, paint);
}

} // namespace JpegSplice