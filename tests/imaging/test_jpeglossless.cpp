// Lossless JPEG stamping: blocks outside the stamp's MCUs untouched, the stamp as the
// full render draws it, quarter turns on the coefficients, and the cases that fall back.
#include "imaging/lossless/jpeglossless.h"
#include "imaging/lossless/jpegsplice.h"
#include "stamp/stampdrawer.h"
#include "stamp/stampfont.h"

#include <QTest>
#include <QTransform>

#include <cmath>
#include <cstdio>
#include <jpeglib.h>

namespace {

struct Source {
    int width = 256, height = 192;
    int h = 2, v = 2;          // luma sampling; chroma 1x1
    bool grey = false;
    bool progressive = false;
    bool cmyk = false;
    int quality = 90;
    int restartMcus = 0;       // a restart marker after every so many MCUs
};

QImage texture(int w, int h)
{
    QImage img(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            // Smooth gradients with a little grain, as photos have.
            const int n = (x * 7919 + y * 104729) % 5;
            img.setPixel(x, y, qRgb((x * 255 / w + n) & 255, (y * 255 / h + 2 * n) & 255,
                                    (128 + x - y + n) & 255));
        }
    return img;
}

// The source's picture, or another of its size, coded as the source is.
QByteArray encode(const Source &s, const QImage &picture = QImage())
{
    const QImage img = picture.isNull() ? texture(s.width, s.height) : picture;
    jpeg_compress_struct c{};
    jpeg_error_mgr err{};
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    unsigned char *buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &buffer, &size);
    c.image_width = JDIMENSION(s.width);
    c.image_height = JDIMENSION(s.height);
    c.input_components = s.grey ? 1 : s.cmyk ? 4 : 3;
    c.in_color_space = s.grey ? JCS_GRAYSCALE : s.cmyk ? JCS_CMYK : JCS_RGB;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, s.quality, TRUE);
    if (!s.grey && !s.cmyk) {
        c.comp_info[0].h_samp_factor = s.h;
        c.comp_info[0].v_samp_factor = s.v;
    }
    if (s.progressive)
        jpeg_simple_progression(&c);
    c.restart_interval = JDIMENSION(s.restartMcus);
    jpeg_start_compress(&c, TRUE);
    std::vector<JSAMPLE> row(size_t(s.width) * size_t(c.input_components));
    for (int y = 0; y < s.height; ++y) {
        for (int x = 0; x < s.width; ++x) {
            const QRgb p = img.pixel(x, y);
            JSAMPLE *o = &row[size_t(x) * size_t(c.input_components)];
            if (s.grey) {
                o[0] = JSAMPLE(qGray(p));
            } else {
                o[0] = JSAMPLE(qRed(p)), o[1] = JSAMPLE(qGreen(p)), o[2] = JSAMPLE(qBlue(p));
                if (s.cmyk)
                    o[3] = 0;
            }
        }
        JSAMPROW r = row.data();
        jpeg_write_scanlines(&c, &r, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    QByteArray out(reinterpret_cast<const char *>(buffer), qsizetype(size));
    std::free(buffer);
    return out;
}

// Decodes to RGB32; without fancy upsampling every pixel depends on its own MCU only.
QImage decode(const QByteArray &bytes, bool fancy)
{
    jpeg_decompress_struct d{};
    jpeg_error_mgr err{};
    d.err = jpeg_std_error(&err);
    jpeg_create_decompress(&d);
    jpeg_mem_src(&d, reinterpret_cast<const unsigned char *>(bytes.constData()), bytes.size());
    jpeg_read_header(&d, TRUE);
    d.out_color_space = JCS_EXT_BGRX;
    d.do_fancy_upsampling = fancy ? TRUE : FALSE;
    jpeg_start_decompress(&d);
    QImage img(int(d.output_width), int(d.output_height), QImage::Format_RGB32);
    while (d.output_scanline < d.output_height) {
        JSAMPROW r = img.scanLine(int(d.output_scanline));
        jpeg_read_scanlines(&d, &r, 1);
    }
    jpeg_finish_decompress(&d);
    jpeg_destroy_decompress(&d);
    return img;
}

StampStyle style(int corner, bool shadow, bool box)
{
    StampStyle s;
    s.text = QStringLiteral("13.07.2019 Hafen");
    s.font = stampFont(QStringLiteral("Liberation Sans"), 14, QStringLiteral("1000"), 96.0);
    s.shadow = shadow;
    s.background = box;
    s.offset = 3;
    s.backgroundColor = QColor(255, 255, 0);
    s.shadowColor = Qt::black;
    s.textColor = Qt::white;
    s.corner = corner;
    s.marginH = 10;
    s.marginV = 10;
    return s;
}

JpegLossless::Result stampLosslessly(const QByteArray &source, const StampStyle &s,
                                     JpegLossless::Turn turn = JpegLossless::Turn::None)
{
    return JpegLossless::stamp(
        source, turn, [&s](const QSize &p) { return stampArea(p, s); },
        [&s](QImage &band, const QPoint &origin, const QSize &p) { paintStamp(band, origin, p, s); });
}

QRect mcuAligned(const QRect &area, int mcuW, int mcuH)
{
    const int x0 = area.left() / mcuW * mcuW, y0 = area.top() / mcuH * mcuH;
    const int x1 = (area.right() + mcuW) / mcuW * mcuW, y1 = (area.bottom() + mcuH) / mcuH * mcuH;
    return QRect(x0, y0, x1 - x0, y1 - y0);
}

double psnr(const QImage &a, const QImage &b, const QRect &r)
{
    double sum = 0;
    qint64 n = 0;
    const QRect inside = r & a.rect();
    for (int y = inside.top(); y <= inside.bottom(); ++y)
        for (int x = inside.left(); x <= inside.right(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            for (int d : {qRed(p) - qRed(q), qGreen(p) - qGreen(q), qBlue(p) - qBlue(q)})
                sum += d * d;
            n += 3;
        }
    return sum == 0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 / (sum / double(n)));
}

// Pixels that differ outside the excluded rectangle.
int differencesOutside(const QImage &a, const QImage &b, const QRect &excluded)
{
    int count = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            if (!excluded.contains(x, y) && a.pixel(x, y) != b.pixel(x, y))
                ++count;
    return count;
}

} // namespace

class TestJpegLossless : public QObject
{
    Q_OBJECT

private slots:
    void onlyTheStampsMcusChange_data();
    void onlyTheStampsMcusChange();
    void quarterTurnsOnTheCoefficients_data();
    void quarterTurnsOnTheCoefficients();
    void fallsBackWhereItCannotBeLossless();
    void damagedDataIsNotCopied();
    void splicedDataEqualsRewrittenCoefficients_data();
    void splicedDataEqualsRewrittenCoefficients();
};

void TestJpegLossless::onlyTheStampsMcusChange_data()
{
    QTest::addColumn<int>("h");
    QTest::addColumn<int>("v");
    QTest::addColumn<bool>("grey");
    QTest::addColumn<bool>("progressive");
    QTest::addColumn<int>("corner");
    QTest::addColumn<bool>("shadow");
    QTest::addColumn<bool>("box");
    QTest::newRow("4:4:4 top left, shadow") << 1 << 1 << false << false << 1 << true << false;
    QTest::newRow("4:2:2 top right, box") << 2 << 1 << false << false << 2 << false << true;
    QTest::newRow("4:2:0 bottom left, shadow and box") << 2 << 2 << false << false << 3 << true << true;
    QTest::newRow("4:2:0 bottom right, shadow") << 2 << 2 << false << false << 4 << true << false;
    QTest::newRow("grey bottom right, box") << 1 << 1 << true << false << 4 << false << true;
    QTest::newRow("progressive 4:2:0 top left") << 2 << 2 << false << true << 1 << true << false;
}

void TestJpegLossless::onlyTheStampsMcusChange()
{
    QFETCH(int, h);
    QFETCH(int, v);
    QFETCH(bool, grey);
    QFETCH(bool, progressive);
    QFETCH(int, corner);
    QFETCH(bool, shadow);
    QFETCH(bool, box);
    Source src;
    src.width = 250; // no whole MCU at the right and bottom edges
    src.height = 190;
    src.h = h, src.v = v, src.grey = grey, src.progressive = progressive;
    const QByteArray source = encode(src);
    const StampStyle s = style(corner, shadow, box);
    const JpegLossless::Result result = stampLosslessly(source, s);
    QVERIFY2(result.ok(), qPrintable(result.fallback));
    QCOMPARE(result.size, QSize(250, 190));
    QVERIFY(result.blocksEncoded > 0);

    const QRect area = stampArea(result.size, s);
    const QRect mcus = mcuAligned(area, 8 * (grey ? 1 : h), 8 * (grey ? 1 : v));
    // Outside the stamp's MCUs the pixels are exactly the source's; with the usual
    // smoothing of chroma too, one MCU away from them.
    QCOMPARE(differencesOutside(decode(result.bytes, false), decode(source, false), mcus), 0);
    QCOMPARE(differencesOutside(decode(result.bytes, true), decode(source, true),
                                mcus.adjusted(-16, -16, 16, 16)), 0);
    // Inside them the picture is the full render of the stamp, as close to it as the
    // source's sampling and quantisation let any encoder come.
    QImage full = decode(source, true);
    paintStamp(full, QPoint(0, 0), full.size(), s);
    // A grey picture stays grey: the stamp's colours give their luma.
    for (int y = 0; grey && y < full.height(); ++y)
        for (int x = 0; x < full.width(); ++x) {
            const QRgb p = full.pixel(x, y);
            const int l = int(std::lround(0.299 * qRed(p) + 0.587 * qGreen(p) + 0.114 * qBlue(p)));
            full.setPixel(x, y, qRgb(l, l, l));
        }
    const double ours = psnr(decode(result.bytes, true), full, mcus);
    const double reencoded = psnr(decode(encode(src, full), true), full, mcus);
    QVERIFY2(ours >= reencoded - 0.5, qPrintable(QStringLiteral("%1 dB, a full re-encode %2 dB")
                                                     .arg(ours).arg(reencoded)));
}

void TestJpegLossless::quarterTurnsOnTheCoefficients_data()
{
    QTest::addColumn<int>("turn");
    QTest::addColumn<int>("degrees");
    QTest::newRow("clockwise") << int(JpegLossless::Turn::Clockwise) << 90;
    QTest::newRow("counter-clockwise") << int(JpegLossless::Turn::CounterClockwise) << -90;
}

void TestJpegLossless::quarterTurnsOnTheCoefficients()
{
    QFETCH(int, turn);
    QFETCH(int, degrees);
    Source src; // 256 x 192, 4:2:0: whole MCUs both ways
    const QByteArray source = encode(src);
    StampStyle s = style(4, true, false);
    s.text.clear(); // nothing drawn: the turn alone
    const JpegLossless::Result result = stampLosslessly(source, s, JpegLossless::Turn(turn));
    QVERIFY2(result.ok(), qPrintable(result.fallback));
    QCOMPARE(result.size, QSize(192, 256));
    QCOMPARE(result.blocksEncoded, 0);
    const QImage turned = decode(source, false).transformed(QTransform().rotate(degrees));
    const QImage written = decode(result.bytes, false);
    QCOMPARE(written.size(), turned.size());
    // The decoder's integer transform rounds rows and columns apart, so a turned block
    // may differ by a level or two.
    QVERIFY(psnr(written, turned, written.rect()) > 45.0);

    // With a stamp, the stamp stands upright in the turned picture.
    s = style(1, true, true);
    const JpegLossless::Result stamped = stampLosslessly(source, s, JpegLossless::Turn(turn));
    QVERIFY(stamped.ok());
    QImage full = turned;
    paintStamp(full, QPoint(0, 0), full.size(), s);
    Source upright = src;
    std::swap(upright.width, upright.height);
    const QRect area = stampArea(full.size(), s);
    const double ours = psnr(decode(stamped.bytes, false), full, area);
    const double reencoded = psnr(decode(encode(upright, full), false), full, area);
    QVERIFY2(ours >= reencoded - 0.5, qPrintable(QStringLiteral("%1 dB, a full re-encode %2 dB")
                                                     .arg(ours).arg(reencoded)));
}

void TestJpegLossless::fallsBackWhereItCannotBeLossless()
{
    const StampStyle s = style(1, true, false);
    Source odd;
    odd.width = 250;
    odd.height = 190;
    // A clockwise turn needs whole MCUs down, a counter-clockwise one across.
    JpegLossless::Result r = stampLosslessly(encode(odd), s, JpegLossless::Turn::Clockwise);
    QVERIFY(!r.ok());
    QVERIFY(r.fallback.contains("MCU"));
    r = stampLosslessly(encode(odd), s, JpegLossless::Turn::CounterClockwise);
    QVERIFY(!r.ok());
    odd.height = 192;
    QVERIFY(stampLosslessly(encode(odd), s, JpegLossless::Turn::Clockwise).ok());

    Source cmyk;
    cmyk.cmyk = true;
    r = stampLosslessly(encode(cmyk), s);
    QVERIFY(!r.ok());
    QVERIFY(!r.fallback.isEmpty());

    // Not a JPEG, or cut short: no picture from this path.
    QVERIFY(!stampLosslessly(QByteArray("not a picture"), s).ok());
    const QByteArray whole = encode(Source());
    QVERIFY(!stampLosslessly(whole.left(whole.size() / 2), s).ok());
}

// Where the entropy-coded data of a JPEG starts and ends (at its end marker).
QPair<qsizetype, qsizetype> scanData(const QByteArray &jpeg)
{
    const qsizetype sos = jpeg.indexOf("\xFF\xDA");
    return {sos + 2 + ((uchar(jpeg[sos + 2]) << 8) | uchar(jpeg[sos + 3])), jpeg.lastIndexOf("\xFF\xD9")};
}

void TestJpegLossless::damagedDataIsNotCopied()
{
    // The stamp at the top: only its rows are decoded, the rest would be copied as it is.
    const StampStyle s = style(1, true, false);
    Source src;
    const QImage picture = texture(src.width, src.height);

    // The data of the top four MCU rows alone, under a header that claims all twelve:
    // what is left after the stamp's rows cannot hold the rows that follow.
    Source top = src;
    top.height = 64;
    const QByteArray whole = encode(src, picture), head = encode(top, picture.copy(0, 0, src.width, 64));
    const auto [wholeStart, wholeEnd] = scanData(whole);
    const auto [headStart, headEnd] = scanData(head);
    const QByteArray cut = whole.left(wholeStart) + head.mid(headStart, headEnd - headStart) + "\xFF\xD9";
    QVERIFY(stampLosslessly(whole, s).ok());
    JpegLossless::Result r = stampLosslessly(cut, s);
    QVERIFY(!r.ok());
    QVERIFY2(r.fallback.contains("could not be read cleanly"), qPrintable(r.fallback));

    // A restart interval far below the stamp emptied, its markers kept in their order.
    Source restarts = src;
    restarts.restartMcus = 16;   // one MCU row
    const QByteArray marked = encode(restarts, picture);
    const qsizetype from = marked.indexOf("\xFF\xD7") + 2, to = marked.indexOf("\xFF\xD0", from);
    QVERIFY(from > 2 && to > from);
    QVERIFY(stampLosslessly(marked, s).ok());
    r = stampLosslessly(marked.left(from) + marked.mid(to), s);
    QVERIFY(!r.ok());
    QVERIFY2(r.fallback.contains("could not be read cleanly"), qPrintable(r.fallback));
}

void TestJpegLossless::splicedDataEqualsRewrittenCoefficients_data()
{
    QTest::addColumn<int>("h");
    QTest::addColumn<int>("v");
    QTest::addColumn<bool>("grey");
    QTest::addColumn<int>("corner");
    QTest::addColumn<bool>("noise");
    QTest::addColumn<int>("restart");
    QTest::newRow("4:2:0 top left") << 2 << 2 << false << 1 << false << 0;
    QTest::newRow("4:2:0 bottom right: no row after the stamp") << 2 << 2 << false << 4 << false << 0;
    QTest::newRow("4:2:2 top right") << 2 << 1 << false << 2 << false << 0;
    QTest::newRow("4:4:4 bottom left") << 1 << 1 << false << 3 << false << 0;
    QTest::newRow("grey bottom left") << 1 << 1 << true << 3 << false << 0;
    // Noise at full quality fills blocks up to their last coefficient, with no end of
    // block: the next block's DC code follows at once in the rows skipped.
    QTest::newRow("noise q100 4:2:0 bottom right") << 2 << 2 << false << 4 << true << 0;
    QTest::newRow("noise q100 grey bottom left") << 1 << 1 << true << 3 << true << 0;
    // Restart markers: only the intervals holding the stamp are coded again, whether an
    // interval is one MCU, part of a row (crossing rows) or a whole row.
    QTest::newRow("restart 1 MCU, 4:2:0 bottom right") << 2 << 2 << false << 4 << false << 1;
    QTest::newRow("restart 5 MCUs, 4:2:2 top left") << 2 << 1 << false << 1 << false << 5;
    QTest::newRow("restart a row, grey bottom left") << 1 << 1 << true << 3 << false << 32;
    QTest::newRow("restart 7 MCUs, noise q100 4:4:4 top right") << 1 << 1 << false << 2 << true << 7;
}

void TestJpegLossless::splicedDataEqualsRewrittenCoefficients()
{
    QFETCH(int, h);
    QFETCH(int, v);
    QFETCH(bool, grey);
    QFETCH(int, corner);
    QFETCH(bool, noise);
    QFETCH(int, restart);
    Source src;
    src.width = 250;
    src.height = 190;
    src.h = h, src.v = v, src.grey = grey;
    src.restartMcus = restart;
    QImage picture;
    if (noise) {
        src.quality = 100;
        picture = QImage(src.width, src.height, QImage::Format_RGB32);
        uint32_t state = 12345;
        for (int y = 0; y < src.height; ++y)
            for (int x = 0; x < src.width; ++x) {
                state = state * 1664525u + 1013904223u;
                picture.setPixel(x, y, state >> 8);
            }
    }
    const QByteArray source = encode(src, picture);
    StampStyle s = style(corner, true, false);
    s.marginV = 40; // a row of MCUs below the stamp for the corners at the bottom
    if (corner == 4)
        s.marginV = 0;
    const auto area = [&s](const QSize &p) { return stampArea(p, s); };
    const auto paint = [&s](QImage &b, const QPoint &o, const QSize &p) { paintStamp(b, o, p, s); };
    const JpegLossless::Result spliced = JpegSplice::stamp(source, area, paint);
    const JpegLossless::Result rewritten =
        JpegLossless::stampCoefficients(source, JpegLossless::Turn::None, area, paint);
    QVERIFY(spliced.ok());
    QVERIFY(rewritten.ok());
    QCOMPARE(spliced.blocksEncoded, rewritten.blocksEncoded);
    // The same coefficients, whichever way they were written.
    QCOMPARE(decode(spliced.bytes, false), decode(rewritten.bytes, false));
    QCOMPARE(decode(spliced.bytes, true), decode(rewritten.bytes, true));
    if (restart) {
        // Every marker is kept in its order, and the data of the intervals away from the
        // stamp is the source's own: a bottom stamp leaves the front of the scan as it was,
        // a top one its end.
        const auto scan = [](const QByteArray &file) { return file.mid(file.indexOf("\xFF\xDA")); };
        const QByteArray before = scan(source), after = scan(spliced.bytes);
        for (int m = 0; m < 8; ++m) {
            const char marker[2] = {'\xFF', char(0xD0 + m)};
            QCOMPARE(after.count(QByteArray(marker, 2)), before.count(QByteArray(marker, 2)));
        }
        qsizetype same = 0;
        if (corner >= 3)
            while (same < std::min(before.size(), after.size()) && before[same] == after[same])
                ++same;
        else
            while (same < std::min(before.size(), after.size())
                   && before[before.size() - 1 - same] == after[after.size() - 1 - same])
                ++same;
        QVERIFY2(same > before.size() / 2, qPrintable(QString::number(same)));
    }
    // Nothing to draw: the data comes through bit for bit.
    s.text.clear();
    const JpegLossless::Result untouched = JpegSplice::stamp(source, area, paint);
    QVERIFY(untouched.ok());
    QCOMPARE(decode(untouched.bytes, true), decode(source, true));
}

QTEST_MAIN(TestJpegLossless)
#include "test_jpeglossless.moc"
