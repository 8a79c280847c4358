#include "imaging/lossless/jpegscanlayout.h"

#include "imaging/codecs/codec.h"

#include <algorithm>
#include <cstring>

namespace JpegSplice {

namespace {

quint16 be16(const QByteArray &b, qsizetype at)
{
    return quint16(uint8_t(b[at]) << 8 | uint8_t(b[at + 1]));
}

int shortestCode(const HuffmanTable &t)
{
    for (int length = 1; length <= 16; ++length)
        if (t.bits[size_t(length)])
            return length;
    return 16;
}

// Whether each restart interval, or the scan without them, is long enough for its MCUs.
bool dataCanHoldMcus(const Layout &l)
{
    const int64_t mcus = int64_t((l.width + 8 * l.maxH - 1) / (8 * l.maxH))
        * ((l.height + 8 * l.maxV - 1) / (8 * l.maxV));
    if (l.restartInterval == 0)
        return int64_t(l.dataEnd - l.dataStart) * 8 >= mcus * minimumMcuBits(l);
    for (size_t k = 0; k <= l.restartAt.size(); ++k) {
        const qsizetype from = k == 0 ? l.dataStart : l.restartAt[k - 1] + 2;
        const qsizetype to = k < l.restartAt.size() ? l.restartAt[k] : l.dataEnd;
        const int64_t inInterval = std::min<int64_t>(l.restartInterval, mcus - int64_t(k) * l.restartInterval);
        if (int64_t(to - from) * 8 < inInterval * minimumMcuBits(l))
            return false;
    }
    return true;
}

} // namespace

int64_t minimumMcuBits(const Layout &l)
{
    int64_t bits = 0;
    for (const ScanComponent &c : l.comps)
        bits += int64_t(c.h) * c.v
            * (shortestCode(l.dcTables[size_t(c.dc)]) + shortestCode(l.acTables[size_t(c.ac)]));
    return bits;
}

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
            if (!dataCanHoldMcus(l))
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

} // namespace JpegSplice
