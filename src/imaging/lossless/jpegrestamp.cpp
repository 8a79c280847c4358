#include "imaging/lossless/jpegrestamp.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

// The 8-point DCT basis: basis[k][n] = C(k) / 2 * cos((2n + 1) k pi / 16).
const std::array<std::array<float, 8>, 8> &basis()
{
    static const std::array<std::array<float, 8>, 8> b = [] {
        std::array<std::array<float, 8>, 8> t{};
        for (int k = 0; k < 8; ++k)
            for (int n = 0; n < 8; ++n)
                t[k][n] = float((k == 0 ? std::sqrt(0.5) : 1.0) / 2.0
                                * std::cos((2 * n + 1) * k * M_PI / 16.0));
        return t;
    }();
    return b;
}

// Dequantised coefficients to samples (not rounded or clamped, level-shifted back).
void inverseDct(const short *coef, const std::array<float, 64> &quant, float *out)
{
    const auto &b = basis();
    float tmp[64];
    for (int v = 0; v < 8; ++v)
        for (int x = 0; x < 8; ++x) {
            float sum = 0;
            for (int u = 0; u < 8; ++u)
                sum += b[u][x] * float(coef[v * 8 + u]) * quant[v * 8 + u];
            tmp[v * 8 + x] = sum;
        }
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
            float sum = 0;
            for (int v = 0; v < 8; ++v)
                sum += b[v][y] * tmp[v * 8 + x];
            out[y * 8 + x] = sum + 128.0f;
        }
}

void forwardDct(const float *samples, const std::array<float, 64> &quant, short *coef)
{
    const auto &b = basis();
    float tmp[64];
    for (int y = 0; y < 8; ++y)
        for (int u = 0; u < 8; ++u) {
            float sum = 0;
            for (int x = 0; x < 8; ++x)
                sum += b[u][x] * (samples[y * 8 + x] - 128.0f);
            tmp[y * 8 + u] = sum;
        }
    for (int v = 0; v < 8; ++v)
        for (int u = 0; u < 8; ++u) {
            float sum = 0;
            for (int y = 0; y < 8; ++y)
                sum += b[v][y] * tmp[y * 8 + u];
            const long q = std::lround(sum / quant[v * 8 + u]);
            coef[v * 8 + u] = short(std::clamp(q, -1024L, 1023L));
        }
}

int clampByte(float v) { return std::clamp(int(std::lround(v)), 0, 255); }

// The samples of one component over the band, at the component's own resolution.
struct Plane {
    int width = 0, height = 0;
    std::vector<float> samples;
    float &at(int x, int y) { return samples[size_t(y) * size_t(width) + size_t(x)]; }
};

} // namespace

namespace JpegRestamp {

QRect mcuRegion(const QRect &area, const QSize &picture, int maxH, int maxV)
{
    const int mcuW = 8 * maxH, mcuH = 8 * maxV;
    const int paddedW = (picture.width() + mcuW - 1) / mcuW * mcuW;
    const int paddedH = (picture.height() + mcuH - 1) / mcuH * mcuH;
    const int x0 = area.left() / mcuW * mcuW, y0 = area.top() / mcuH * mcuH;
    const int x1 = std::min(paddedW, (area.right() + mcuW) / mcuW * mcuW);
    const int y1 = std::min(paddedH, (area.bottom() + mcuH) / mcuH * mcuH);
    return QRect(x0, y0, x1 - x0, y1 - y0);
}

int restamp(const std::vector<Component> &comps, const BlockFn &blockAt, const QRect &region,
            const QSize &picture, const JpegLossless::PaintFn &paint)
{
    const int n = int(comps.size());
    std::vector<Plane> planes(static_cast<size_t>(n));
    for (int ci = 0; ci < n; ++ci) {
        const Component &c = comps[size_t(ci)];
        Plane &p = planes[size_t(ci)];
        p.width = region.width() / c.sx;
        p.height = region.height() / c.sy;
        p.samples.assign(size_t(p.width) * size_t(p.height), 0.0f);
        const int bx0 = region.left() / c.sx / 8, by0 = region.top() / c.sy / 8;
        float block[64];
        for (int by = 0; by < p.height / 8; ++by) {
            for (int bx = 0; bx < p.width / 8; ++bx) {
                const short *coef = blockAt(ci, bx0 + bx, by0 + by, false);
                if (!coef)
                    return -1;
                inverseDct(coef, c.quant, block);
                for (int y = 0; y < 8; ++y)
                    std::memcpy(&p.at(bx * 8, by * 8 + y), block + y * 8, 8 * sizeof(float));
            }
        }
    }

    // The pixels as a decoder shows them, chroma repeated over its samples.
    QImage band(region.size(), QImage::Format_RGB32);
    for (int y = 0; y < band.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(band.scanLine(y));
        for (int x = 0; x < band.width(); ++x) {
            const float luma = planes[0].at(x / comps[0].sx, y / comps[0].sy);
            if (n == 1) {
                const int g = clampByte(luma);
                line[x] = qRgb(g, g, g);
                continue;
            }
            const float cb = planes[1].at(x / comps[1].sx, y / comps[1].sy) - 128.0f;
            const float cr = planes[2].at(x / comps[2].sx, y / comps[2].sy) - 128.0f;
            line[x] = qRgb(clampByte(luma + 1.402f * cr),
                           clampByte(luma - 0.344136f * cb - 0.714136f * cr),
                           clampByte(luma + 1.772f * cb));
        }
    }
    const QImage before = band.copy();
    paint(band, region.topLeft(), picture);

    int encoded = 0;
    float block[64];
    for (int ci = 0; ci < n; ++ci) {
        const Component &c = comps[size_t(ci)];
        Plane &p = planes[size_t(ci)];
        const int bx0 = region.left() / c.sx / 8, by0 = region.top() / c.sy / 8;
        for (int by = 0; by < p.height / 8; ++by) {
            for (int bx = 0; bx < p.width / 8; ++bx) {
                // The block's samples: unchanged pixels keep the decoded value exactly, so
                // an untouched part of the block quantises back to what it was.
                bool changed = false;
                for (int y = 0; y < 8; ++y)
                    for (int x = 0; x < 8; ++x) {
                        const int px = (bx * 8 + x) * c.sx, py = (by * 8 + y) * c.sy;
                        float sum = 0;
                        int count = 0;
                        for (int dy = 0; dy < c.sy; ++dy) {
                            const auto *now = reinterpret_cast<const QRgb *>(band.constScanLine(py + dy));
                            const auto *was = reinterpret_cast<const QRgb *>(before.constScanLine(py + dy));
                            for (int dx = 0; dx < c.sx; ++dx) {
                                const QRgb rgb = now[px + dx];
                                if (rgb == was[px + dx])
                                    continue;
                                const float r = float(qRed(rgb)), g = float(qGreen(rgb)), b = float(qBlue(rgb));
                                sum += ci == 0 ? 0.299f * r + 0.587f * g + 0.114f * b
                                     : ci == 1 ? -0.168736f * r - 0.331264f * g + 0.5f * b + 128.0f
                                               : 0.5f * r - 0.418688f * g - 0.081312f * b + 128.0f;
                                ++count;
                            }
                        }
                        const float old = p.at(bx * 8 + x, by * 8 + y);
                        const int all = c.sx * c.sy;
                        block[y * 8 + x] = count ? (sum + old * float(all - count)) / float(all) : old;
                        changed = changed || count;
                    }
                if (!changed)
                    continue;
                short *coef = blockAt(ci, bx0 + bx, by0 + by, true);
                if (!coef)
                    return -1;
                forwardDct(block, c.quant, coef);
                ++encoded;
            }
        }
    }
    return encoded;
}

} // namespace JpegRestamp
