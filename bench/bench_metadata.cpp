// Metadata benchmark: what keeping a photo's metadata adds to one 24 MP JPEG job.
//   copy + edit: read the source's segments, edit the EXIF block (orientation, pixel
//                size; thumbnail not counted), insert them into the encoded output
//   thumbnail:   make the new EXIF thumbnail from the 6000 x 4000 picture
// Goals: copy + edit at most 2 ms, thumbnail at most 5 ms per job.
//   bench_metadata [rounds=30] [PHOTO.jpg]
// Without PHOTO a photo-like 6000 x 4000 JPEG with a camera-like EXIF block (with
// thumbnail), XMP, a 3 kB ICC profile and a comment is made in /tmp.
#include "benchcommon.h"

#include "imaging/metadata/exifedit.h"
#include "imaging/codecs/jpegcodec.h"
#include "imaging/metadata/picturemetadata.h"

#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <cstdio>

namespace {

// A little-endian EXIF block as cameras write it: IFD0 (Make, Model, Orientation, EXIF
// pointer), the EXIF directory (DateTimeOriginal, PixelXDimension, PixelYDimension) and
// IFD1 with a JPEG thumbnail at the end.
QByteArray cameraBlock(const QByteArray &thumbnail)
{
    QByteArray b("II*\0\x08\0\0\0", 8);
    auto put = [&b](quint32 v, int n) {
        for (int i = 0; i < n; ++i)
            b += char(v >> (8 * i));
    };
    auto set = [&b](int at, quint32 v) {
        for (int i = 0; i < 4; ++i)
            b[at + i] = char(v >> (8 * i));
    };
    auto entry = [&](quint16 tag, quint16 type, quint32 count, quint32 value) {
        put(tag, 2), put(type, 2), put(count, 4), put(value, 4);
    };
    // IFD0 at 8: 4 entries, values behind it at 8 + 2 + 48 + 4 = 62.
    put(4, 2);
    entry(0x010F, 2, 8, 62);
    entry(0x0110, 2, 8, 70);
    entry(0x0112, 3, 1, 6);
    entry(0x8769, 4, 1, 78);
    const int nextIfd = int(b.size());
    put(0, 4);
    b += QByteArray("BenchCam\0BC-24MP\0", 16);
    // EXIF directory at 78: 3 entries, the date at 78 + 2 + 36 + 4 = 120.
    put(3, 2);
    entry(0x9003, 2, 20, 120);
    entry(0xA002, 4, 1, 6000);
    entry(0xA003, 4, 1, 4000);
    put(0, 4);
    b += QByteArray("2019:07:13 10:23:33\0", 20);
    set(nextIfd, quint32(b.size()));
    const int ifd1 = int(b.size());
    put(3, 2);
    entry(0x0103, 3, 1, 6);
    entry(0x0201, 4, 1, quint32(ifd1 + 2 + 36 + 4));
    entry(0x0202, 4, 1, quint32(thumbnail.size()));
    put(0, 4);
    return b + thumbnail;
}

QByteArray segment(quint8 marker, const QByteArray &payload)
{
    const int n = int(payload.size()) + 2;
    return QByteArray(1, char(0xFF)) + char(marker) + char(n >> 8) + char(n & 0xFF) + payload;
}

} // namespace

int main(int argc, char **argv)
{
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 30;
    QTemporaryDir dir;
    QString photo = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QString();
    if (photo.isEmpty()) {
        const QString plain = dir.filePath("plain.jpg");
        if (!Bench::writePhotoJpeg(plain.toLocal8Bit().constData(), 6000, 4000, 90))
            return 1;
        QFile in(plain);
        in.open(QIODevice::ReadOnly);
        QByteArray bytes = in.readAll();
        QImage thumb(160, 120, QImage::Format_RGB32);
        thumb.fill(qRgb(80, 120, 160));
        QByteArray icc(3144, '\x11');
        const QByteArray xmp = QByteArray("http://ns.adobe.com/xap/1.0/\0", 29) + QByteArray(5000, 'x');
        bytes.insert(2, segment(0xE1, QByteArray("Exif\0\0", 6) + cameraBlock(JpegCodec::encode(thumb, 80, 0, {})))
                            + segment(0xE2, QByteArray("ICC_PROFILE\0\1\1", 14) + icc)
                            + segment(0xE1, xmp) + segment(0xFE, "BenchCam"));
        photo = dir.filePath("photo.jpg");
        QFile out(photo);
        out.open(QIODevice::WriteOnly);
        out.write(bytes);
    }
    QFile in(photo);
    if (!in.open(QIODevice::ReadOnly))
        return 1;
    const QByteArray source = in.readAll();
    const QImage picture = QImage::fromData(source).convertToFormat(QImage::Format_RGB32);
    const QByteArray encoded = JpegCodec::encode(picture, 80, 20, {});
    std::printf("photo %s: %dx%d, %.1f MB; output %.1f MB\n", qPrintable(photo), picture.width(),
                picture.height(), source.size() / 1e6, encoded.size() / 1e6);

    std::vector<Bench::Sample> copyEdit, thumbnail;
    qsizetype added = 0;
    for (int r = 0; r < rounds; ++r) {
        QByteArray output = encoded;
        output.reserve(encoded.size() + 256 * 1024);
        const Bench::Stopwatch start;
        PictureMetadata metadata = PictureMetadata::readFromFile(photo);
        const QByteArray exif = metadata.exif();
        if (!exif.isEmpty()) {
            ExifUpdate update;
            update.turned = true;
            update.width = picture.width();
            update.height = picture.height();
            update.thumbnail = [](const QByteArray &) { return QByteArray(); };
            metadata.setExif(ExifEdit::update(exif, update));
        }
        metadata.insertIntoJpeg(output);
        copyEdit.push_back(start.elapsed());
        added = output.size() - encoded.size();

        const Bench::Stopwatch t0;
        const QByteArray thumb = ExifEdit::thumbnailJpeg(picture);
        thumbnail.push_back(t0.elapsed());
        if (thumb.isEmpty())
            return 1;
    }
    std::printf("copy + edit: median %.2f ms wall, %.2f ms CPU (%lld bytes of metadata written); goal <= 2 ms\n",
                Bench::medianWall(copyEdit), Bench::medianCpu(copyEdit), static_cast<long long>(added));
    std::printf("thumbnail:   median %.2f ms wall, %.2f ms CPU; goal <= 5 ms\n",
                Bench::medianWall(thumbnail), Bench::medianCpu(thumbnail));
    return 0;
}
