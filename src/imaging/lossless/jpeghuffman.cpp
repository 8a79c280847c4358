#include "imaging/lossless/jpeghuffman.h"

namespace JpegSplice {

bool HuffmanTable::build()
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

void HuffmanTable::buildSkipMany()
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

bool HuffmanTable::complete(bool ac) const
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

int bitLength(int v)
{
    int n = 0;
    for (unsigned a = unsigned(v < 0 ? -v : v); a; a >>= 1)
        ++n;
    return n;
}

// The entropy-coded bytes without their stuffed zero bytes, followed by 16 zero bytes for
// the bit reader. stuffingAt, when given, gets the unstuffed offsets after which a zero
// byte was dropped.
std::vector<uint8_t> unstuffed(const uint8_t *stuffed, size_t stuffedSize, size_t &dataSize,
                               std::vector<size_t> *stuffingAt)
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

} // namespace JpegSplice
