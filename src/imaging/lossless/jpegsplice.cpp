#include "imaging/lossless/jpegsplice.h"

#include "imaging/codecs/codec.h"
#include "imaging/lossless/jpegrestamp.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>
#include <vector>

namespace {

// Natural position of the coefficient at each zigzag position.
constexpr int kNatural[64] = {0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,
                              12, 19, 26, 33, 40, 48, 41, 34, 27, 20, 13, 6,  7,  14, 21, 28,
                              35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23, 30, 37, 44, 51,
                              58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63};
constexpr int kLookBits = 9;
// Bits of the table that skips an AC coefficient in one step: its code and its magnitude.
constexpr int kSkipBits = 11;
// Bits of the table that skips as many whole AC coefficients as fit in them in one step.
constexpr int kSkipManyBits = 14;
constexpr uint16_t kEndsBlock = 0x8000;

struct HuffmanTable {
    bool present = false;
    std::array<uint8_t, 17> bits{};
    std::array<uint8_t, 256> values{};
    int count = 0;
    std::array<int32_t, 18> maxcode{};
    std::array<int32_t, 17> valueOffset{};
    std::array<uint16_t, 1 << kLookBits> look{}; // length << 8 | symbol; 0 = longer code
    std::array<uint16_t, 256> code{};
    std::array<uint8_t, 256> size{};
    // For AC tables: the bits one coefficient takes (code and magnitude) in bits 0-4 and
    // how far it moves along the block in bits 5-11 (64 for the end of block); 0 where
    // the coefficient needs more than kSkipBits bits.
    std::array<uint16_t, 1 << kSkipBits> skipAc{};
    // For AC tables: the same for every whole coefficient that fits in kSkipManyBits bits,
    // up to and including an end of block (then kEndsBlock is set and the advance counts
    // the coefficients before it). A run of coefficients is cheaper to skip at once: each step waits for the one
    // before, so fewer steps is what makes the skip fast.
    std::vector<uint16_t> skipMany;

    // Builds the decoding and encoding tables; false for a table no decoder accepts.
    bool build()
    {
        std::array<uint16_t, 257> codes{};
        std::array<uint8_t, 257> sizes{};
        int k = 0;
        for (int l = 1; l <= 16; ++l)
            for (int i = 0; i < bits[size_t(l)]; ++i) {
                if (k >= 256)
                    return false;
                sizes[size_t(k++)] = uint8_t(l);
            }
        count = k;
        uint32_t c = 0;
        int si = count ? sizes[0] : 0;
        for (k = 0; k < count;) {
            while (k < count && sizes[size_t(k)] == si) {
                codes[size_t(k++)] = uint16_t(c++);
                if (c > (1u << si))
                    return false;
            }
            c <<= 1;
            ++si;
        }
        int p = 0;
        for (int l = 1; l <= 16; ++l) {
            if (bits[size_t(l)]) {
                valueOffset[size_t(l)] = p - int(codes[size_t(p)]);
                p += bits[size_t(l)];
                maxcode[size_t(l)] = int(codes[size_t(p - 1)]);
            } else {
                maxcode[size_t(l)] = -1;
            }
        }
        maxcode[17] = 0x7FFFFFFF;
        look.fill(0);
        size.fill(0);
        skipAc.fill(0);
        for (k = 0; k < count; ++k) {
            const int l = sizes[size_t(k)];
            const uint8_t symbol = values[size_t(k)];
            if (!size[symbol]) {
                size[symbol] = uint8_t(l);
                code[symbol] = codes[size_t(k)];
            }
            if (l <= kLookBits) {
                const int shift = kLookBits - l;
                for (int i = 0; i < (1 << shift); ++i)
                    look[size_t((codes[size_t(k)] << shift) | i)] = uint16_t(l << 8 | symbol);
            }
            const int run = symbol >> 4, magnitude = symbol & 15;
            const int total = l + magnitude;
            const int advance = magnitude ? run + 1 : run == 15 ? 16 : 64;
            if (total <= kSkipBits) {
                const int shift = kSkipBits - l;
                for (int i = 0; i < (1 << shift); ++i)
                    skipAc[size_t((codes[size_t(k)] << shift) | i)] = uint16_t(total | advance << 5);
            }
        }
        buildSkipMany();
        return true;
    }

    void buildSkipMany()
    {
        skipMany.assign(size_t(1) << kSkipManyBits, 0);
        for (uint32_t window = 0; window < (1u << kSkipManyBits); ++window) {
            int used = 0, advance = 0;
            bool ends = false;
            while (!ends) {
                // The next coefficient, from the bits not used yet (zeros past the window).
                const uint32_t next = (window << used) & ((1u << kSkipManyBits) - 1);
                const uint16_t e = skipAc[next >> (kSkipManyBits - kSkipBits)];
                const int bitsTaken = e & 31, moves = e >> 5;
                if (!e || used + bitsTaken > kSkipManyBits || (moves < 64 && advance + moves >= 64))
                    break;
                used += bitsTaken;
                if (moves >= 64)
                    ends = true;
                else
                    advance += moves;
            }
            if (used)
                skipMany[window] = uint16_t(used | advance << 5 | (ends ? kEndsBlock : 0));
        }
    }

    // Codes for every symbol a block can need, so that new blocks can be coded with it.
    bool complete(bool ac) const
    {
        if (!ac) {
            for (int s = 0; s <= 11; ++s)
                if (!size[size_t(s)])
                    return false;
            return true;
        }
        if (!size[0x00] || !size[0xF0])
            return false;
        for (int run = 0; run < 16; ++run)
            for (int s = 1; s <= 10; ++s)
                if (!size[size_t(run << 4 | s)])
                    return false;
        return true;
    }
};

// Reads bits from entropy-coded data with its stuffed zero bytes removed. The data must
// be followed by at least 16 readable bytes (zeros). The next bits wait, left-aligned,
// in a 64-bit register that every step tops up with one unaligned load, so that at
// least 56 bits can always be peeked.
class BitReader
{
public:
    BitReader(const uint8_t *data, size_t size)
        : m_data(data), m_size(size), m_next(data), m_last(data + size + 8)
    {
        refill();
    }

    size_t position() const { return size_t(m_next - m_data) * 8 - size_t(m_bits); }
    // More bits were taken than the data holds.
    bool overrun() const { return m_exhausted || position() > m_size * 8; }

    // The next n (1..25) bits, not taken.
    uint32_t peek(int n) const { return uint32_t(m_acc >> (64 - n)); }
    void skip(int n)
    {
        m_acc <<= n;
        m_bits -= n;
        refill();
    }

    // A Huffman symbol; -1 for a code the table does not have.
    int symbol(const HuffmanTable &t)
    {
        const uint16_t e = t.look[peek(kLookBits)];
        if (e) {
            skip(e >> 8);
            return e & 0xFF;
        }
        const uint32_t bits16 = peek(16);
        for (int l = kLookBits + 1; l <= 16; ++l) {
            const int32_t c = int32_t(bits16 >> (16 - l));
            if (c <= t.maxcode[size_t(l)]) {
                skip(l);
                const int index = t.valueOffset[size_t(l)] + c;
                return index >= 0 && index < t.count ? t.values[size_t(index)] : -1;
            }
        }
        return -1;
    }
    int receiveExtend(int s)
    {
        if (s == 0)
            return 0;
        const int v = int(peek(s));
        skip(s);
        return v < (1 << (s - 1)) ? v - (1 << s) + 1 : v;
    }

private:
    void refill()
    {
        if (m_next > m_last) {
            // Damaged data asked for far more bits than there are: zeros from here on,
            // and the caller sees the overrun.
            m_next = m_last;
            m_exhausted = true;
        }
        uint64_t v;
        std::memcpy(&v, m_next, 8);
        m_acc |= __builtin_bswap64(v) >> m_bits;
        m_next += (63 - m_bits) >> 3;
        m_bits |= 56;
    }

    const uint8_t *m_data;
    size_t m_size;
    const uint8_t *m_next;
    const uint8_t *m_last;   // the last place an 8-byte load stays inside the padding
    uint64_t m_acc = 0;
    int m_bits = 0;          // valid bits in m_acc, from its top
    bool m_exhausted = false;
};

// Writes bits as entropy-coded data, stuffing a zero byte after every 0xFF.
class BitWriter
{
public:
    explicit BitWriter(std::vector<uint8_t> &out) : m_out(out) {}
    void put(uint32_t value, int n)
    {
        if (n == 0)
            return;
        m_acc = (m_acc << n) | (value & ((n == 32 ? 0xFFFFFFFFu : (1u << n) - 1)));
        m_bits += n;
        while (m_bits >= 8) {
            const uint8_t byte = uint8_t(m_acc >> (m_bits - 8));
            m_out.push_back(byte);
            if (byte == 0xFF)
                m_out.push_back(0);
            m_bits -= 8;
        }
    }
    // Pads the last byte with one bits, as the end of the data wants.
    void flush()
    {
        if (m_bits)
            put((1u << (8 - m_bits)) - 1, 8 - m_bits);
    }

private:
    std::vector<uint8_t> &m_out;
    uint64_t m_acc = 0;
    int m_bits = 0;
};

int bitLength(int v)
{
    int n = 0;
    for (unsigned a = unsigned(v < 0 ? -v : v); a; a >>= 1)
        ++n;
    return n;
}

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

quint16 be16(const QByteArray &b, qsizetype at)
{
    return quint16(uint8_t(b[at]) << 8 | uint8_t(b[at + 1]));
}

// Reads the markers up to the scan and finds the end of its data. Nothing when the file
// is not a single-scan sequential Huffman JPEG without restart markers.
std::optional<Layout> readLayout(const QByteArray &b)
{
    Layout l;
    if (b.size() < 4 || uint8_t(b[0]) != 0xFF || uint8_t(b[1]) != 0xD8)
        return std::nullopt;
    l.header = b.left(2);
    bool frame = false, adobeRgb = false;
    qsizetype p = 2;
    for (int segments = 0; segments < 4096; ++segments) {
        if (p + 4 > b.size() || uint8_t(b[p]) != 0xFF)
            return std::nullopt;
        while (p + 4 <= b.size() && uint8_t(b[p + 1]) == 0xFF)
            ++p;
        const uint8_t m = uint8_t(b[p + 1]);
        const qsizetype len = be16(b, p + 2);
        if (len < 2 || p + 2 + len > b.size())
            return std::nullopt;
        const qsizetype body = p + 4, end = p + 2 + len;
        const QByteArray segment = b.mid(p, 2 + len);
        switch (m) {
        case 0xC0:
        case 0xC1: {
            if (frame || len < 8 || uint8_t(b[body]) != 8)
                return std::nullopt;
            frame = true;
            l.height = be16(b, body + 1);
            l.width = be16(b, body + 3);
            const int n = uint8_t(b[body + 5]);
            if (!Codec::dimensionsAcceptable(l.width, l.height) || (n != 1 && n != 3) || len != 8 + 3 * n)
                return std::nullopt;
            for (int i = 0; i < n; ++i) {
                ScanComponent c;
                c.id = uint8_t(b[body + 6 + 3 * i]);
                c.h = uint8_t(b[body + 7 + 3 * i]) >> 4;
                c.v = uint8_t(b[body + 7 + 3 * i]) & 15;
                c.quant = uint8_t(b[body + 8 + 3 * i]);
                if (c.h < 1 || c.h > 4 || c.v < 1 || c.v > 4 || c.quant > 3)
                    return std::nullopt;
                l.comps.push_back(c);
            }
            l.header += segment;
            break;
        }
        case 0xC4: {
            qsizetype q = body;
            while (q < end) {
                const int tc = uint8_t(b[q]) >> 4, th = uint8_t(b[q]) & 15;
                if (tc > 1 || th > 3 || q + 17 > end)
                    return std::nullopt;
                HuffmanTable &t = tc ? l.acTables[size_t(th)] : l.dcTables[size_t(th)];
                int total = 0;
                for (int i = 1; i <= 16; ++i)
                    total += (t.bits[size_t(i)] = uint8_t(b[q + i]));
                if (total > 256 || q + 17 + total > end)
                    return std::nullopt;
                for (int i = 0; i < total; ++i)
                    t.values[size_t(i)] = uint8_t(b[q + 17 + i]);
                if (!t.build())
                    return std::nullopt;
                t.present = true;
                q += 17 + total;
            }
            l.header += segment;
            break;
        }
        case 0xDB: {
            qsizetype q = body;
            while (q < end) {
                const int pq = uint8_t(b[q]) >> 4, tq = uint8_t(b[q]) & 15;
                const qsizetype need = 1 + 64 * (pq ? 2 : 1);
                if (pq > 1 || tq > 3 || q + need > end)
                    return std::nullopt;
                for (int k = 0; k < 64; ++k)
                    l.quant[size_t(tq)][size_t(kNatural[k])] =
                        pq ? be16(b, q + 1 + 2 * k) : uint8_t(b[q + 1 + k]);
                l.quantPresent[size_t(tq)] = true;
                q += need;
            }
            l.header += segment;
            break;
        }
        case 0xDD:
            if (len != 4)
                return std::nullopt;
            l.restartInterval = be16(b, body);
            l.header += segment;
            break;
        case 0xDA: {
            if (!frame || len < 6)
                return std::nullopt;
            const int ns = uint8_t(b[body]);
            if (ns != int(l.comps.size()) || len != 6 + 2 * ns)
                return std::nullopt;
            for (int i = 0; i < ns; ++i) {
                ScanComponent &c = l.comps[size_t(i)];
                if (uint8_t(b[body + 1 + 2 * i]) != c.id)
                    return std::nullopt;
                c.dc = uint8_t(b[body + 2 + 2 * i]) >> 4;
                c.ac = uint8_t(b[body + 2 + 2 * i]) & 15;
                if (c.dc > 3 || c.ac > 3)
                    return std::nullopt;
            }
            const qsizetype sel = body + 1 + 2 * ns;
            if (uint8_t(b[sel]) != 0 || uint8_t(b[sel + 1]) != 63 || uint8_t(b[sel + 2]) != 0)
                return std::nullopt;
            l.header += segment;
            l.dataStart = end;
            // The data ends at the first marker other than the restart markers, which must
            // come in their order and only where an interval is set.
            qsizetype q = end;
            while (true) {
                const char *ff = static_cast<const char *>(
                    std::memchr(b.constData() + q, 0xFF, size_t(b.size() - q)));
                if (!ff || ff + 1 >= b.constData() + b.size())
                    return std::nullopt;
                q = ff - b.constData();
                const uint8_t next = uint8_t(b[q + 1]);
                if (next == 0x00) {
                    q += 2;
                } else if (next == 0xFF) {
                    ++q;
                } else if (next >= 0xD0 && next <= 0xD7) {
                    if (l.restartInterval == 0 || next != 0xD0 + l.restartAt.size() % 8)
                        return std::nullopt;
                    l.restartAt.push_back(q);
                    q += 2;
                } else {
                    if (next != 0xD9)
                        return std::nullopt;
                    l.dataEnd = q;
                    break;
                }
            }
            if (l.comps.size() == 1) {
                // One component is coded block by block, whatever its sampling factors.
                l.comps[0].h = l.comps[0].v = 1;
            } else {
                if (l.comps[0].id == 'R' && l.comps[1].id == 'G' && l.comps[2].id == 'B')
                    return std::nullopt;
                int blocks = 0;
                for (const ScanComponent &c : l.comps) {
                    l.maxH = std::max(l.maxH, c.h);
                    l.maxV = std::max(l.maxV, c.v);
                    blocks += c.h * c.v;
                }
                if (blocks > 10)
                    return std::nullopt;
                for (const ScanComponent &c : l.comps)
                    if (l.maxH % c.h || l.maxV % c.v)
                        return std::nullopt;
            }
            if (adobeRgb)
                return std::nullopt;
            if (l.restartInterval > 0) {
                const qint64 mcus = qint64((l.width + 8 * l.maxH - 1) / (8 * l.maxH))
                    * ((l.height + 8 * l.maxV - 1) / (8 * l.maxV));
                if (qint64(l.restartAt.size()) != (mcus + l.restartInterval - 1) / l.restartInterval - 1)
                    return std::nullopt;
            }
            for (const ScanComponent &c : l.comps)
                if (!l.quantPresent[size_t(c.quant)] || !l.dcTables[size_t(c.dc)].present
                    || !l.acTables[size_t(c.ac)].present || !l.dcTables[size_t(c.dc)].complete(false)
                    || !l.acTables[size_t(c.ac)].complete(true))
                    return std::nullopt;
            return l;
        }
        case 0xE0:
            // JFIF says how to read the colours; it stays.
            if (segment.mid(4, 5) == QByteArray("JFIF\0", 5))
                l.header += segment;
            break;
        case 0xEE:
            // Adobe's colour transform flag: 0 means RGB, not YCbCr.
            if (segment.mid(4, 5) == "Adobe") {
                if (len >= 14 && uint8_t(b[body + 11]) == 0)
                    adobeRgb = true;
                l.header += segment;
            }
            break;
        default:
            if (m >= 0xC2 && m <= 0xCF && m != 0xC4 && m != 0xC8 && m != 0xCC)
                return std::nullopt; // progressive, lossless or arithmetic coding
            if (m == 0xCC || m == 0xD8 || m == 0xD9 || (m >= 0xD0 && m <= 0xD7))
                return std::nullopt;
            break; // other application segments and comments are metadata, kept elsewhere
        }
        p = end;
    }
    return std::nullopt;
}

// The entropy-coded bytes without their stuffed zero bytes, followed by 16 zero bytes for
// the bit reader. stuffingAt, when given, gets the unstuffed offsets after which a zero
// byte was dropped.
std::vector<uint8_t> unstuffed(const uint8_t *stuffed, size_t stuffedSize, size_t &dataSize,
                               std::vector<size_t> *stuffingAt = nullptr)
{
    std::vector<uint8_t> data(stuffedSize + 16, 0);
    size_t used = 0;
    for (size_t i = 0; i < stuffedSize;) {
        const void *ff = std::memchr(stuffed + i, 0xFF, stuffedSize - i);
        const size_t run = (ff ? size_t(static_cast<const uint8_t *>(ff) - stuffed) + 1 : stuffedSize) - i;
        std::memcpy(data.data() + used, stuffed + i, run);
        used += run;
        i += run;
        if (ff && i < stuffedSize && stuffed[i] == 0x00) {
            if (stuffingAt)
                stuffingAt->push_back(used);
            ++i;
        }
    }
    dataSize = used;
    return data;
}

// Passes over one block, keeping only its DC prediction; false on a code the tables do
// not have.
bool skipBlock(BitReader &in, const HuffmanTable &dc, const HuffmanTable &ac, int &pred)
{
    const int s = in.symbol(dc);
    if (s < 0 || s > 11)
        return false;
    pred += in.receiveExtend(s);
    for (int k = 1; k < 64;) {
        // A step is taken only where it stays inside this block: past its last
        // coefficient the bits are the next block's.
        const uint16_t many = ac.skipMany[in.peek(kSkipManyBits)];
        const int moves = (many >> 5) & 127;
        if (many & kEndsBlock) {
            if (k + moves < 64) {
                in.skip(many & 31);
                break;
            }
        } else if (many && k + moves <= 64) {
            in.skip(many & 31);
            k += moves;
            continue;
        }
        const uint16_t e = ac.skipAc[in.peek(kSkipBits)];
        if (e) {
            in.skip(e & 31);
            k += e >> 5;
            continue;
        }
        const int rs = in.symbol(ac);
        if (rs < 0 || (rs & 15) > 10)
            return false;
        in.skip(rs & 15);
        k += (rs & 15) ? (rs >> 4) + 1 : (rs >> 4) == 15 ? 16 : 64;
    }
    return true;
}

// Decodes one block into 64 coefficients in natural order.
bool decodeBlock(BitReader &in, const HuffmanTable &dc, const HuffmanTable &ac, int &pred,
                 short *block)
{
    const int s = in.symbol(dc);
    if (s < 0 || s > 11)
        return false;
    pred += in.receiveExtend(s);
    std::memset(block, 0, 64 * sizeof(short));
    block[0] = short(pred);
    for (int k = 1; k < 64;) {
        const int rs = in.symbol(ac);
        if (rs < 0)
            return false;
        const int r = rs >> 4, sz = rs & 15;
        if (sz) {
            k += r;
            if (k > 63 || sz > 10)
                return false;
            block[kNatural[k]] = short(in.receiveExtend(sz));
            ++k;
        } else if (r == 15) {
            k += 16;
        } else {
            break;
        }
    }
    return true;
}

void encodeBlock(BitWriter &w, const HuffmanTable &dc, const HuffmanTable &ac, int &pred,
                 const short *block)
{
    const int diff = block[0] - pred;
    pred = block[0];
    const int dn = bitLength(diff);
    w.put(dc.code[size_t(dn)], dc.size[size_t(dn)]);
    w.put(uint32_t(diff < 0 ? diff - 1 : diff), dn);
    int run = 0;
    for (int k = 1; k < 64; ++k) {
        const int v = block[kNatural[k]];
        if (v == 0) {
            ++run;
            continue;
        }
        for (; run > 15; run -= 16)
            w.put(ac.code[0xF0], ac.size[0xF0]);
        const int an = bitLength(v);
        const int symbol = run << 4 | an;
        w.put(ac.code[size_t(symbol)], ac.size[size_t(symbol)]);
        w.put(uint32_t(v < 0 ? v - 1 : v), an);
        run = 0;
    }
    if (run)
        w.put(ac.code[0x00], ac.size[0x00]);
}

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

namespace JpegSplice {

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
