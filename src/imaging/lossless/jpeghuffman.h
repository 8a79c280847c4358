#pragma once

#include <QByteArray>

#include <array>
#include <cstdint>
#include <cstring>
#include <vector>

// The entropy coding of a sequential Huffman-coded JPEG's scan: the Huffman tables, the
// bit reader and writer, and one 8x8 block decoded, passed over or coded again.
namespace JpegSplice {

// Natural position of the coefficient at each zigzag position.
inline constexpr int kNatural[64] = {0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,
                                     12, 19, 26, 33, 40, 48, 41, 34, 27, 20, 13, 6,  7,  14, 21, 28,
                                     35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23, 30, 37, 44, 51,
                                     58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63};
// Bits of the table that decodes a Huffman code of up to that length in one step.
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
    // the coefficients before it). A run of coefficients is cheaper to skip at once: each
    // step waits for the one before, so fewer steps is what makes the skip fast.
    std::vector<uint16_t> skipMany;

    // Builds the decoding and encoding tables; false for a table no decoder accepts.
    bool build();
    void buildSkipMany();
    // Codes for every symbol a block can need, so that new blocks can be coded with it.
    bool complete(bool ac) const;
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

// The bits the magnitude of v takes.
int bitLength(int v);

// The entropy-coded bytes without their stuffed zero bytes, followed by 16 zero bytes for
// the bit reader. stuffingAt, when given, gets the unstuffed offsets after which a zero
// byte was dropped.
std::vector<uint8_t> unstuffed(const uint8_t *stuffed, size_t stuffedSize, size_t &dataSize,
                               std::vector<size_t> *stuffingAt = nullptr);

// Passes over one block, keeping only its DC prediction; false on a code the tables do
// not have. Inline: it runs for every block before the stamp's rows, so a call per block
// would show in the time of a stamp near the bottom.
[[gnu::always_inline]] inline bool skipBlock(BitReader &in, const HuffmanTable &dc,
                                             const HuffmanTable &ac, int &pred)
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
                 short *block);

// Codes one block of 64 coefficients in natural order, with a DC difference from pred.
void encodeBlock(BitWriter &w, const HuffmanTable &dc, const HuffmanTable &ac, int &pred,
                 const short *block);

} // namespace JpegSplice
