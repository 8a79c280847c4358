#include "imaging/multiimage.h"

#include "app/inkwerkerror.h"
#include "imaging/imageformats.h"
#include "imaging/rotate.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <algorithm>

namespace {

// Larger files are refused unread: the biggest picture any codec accepts, stored
// uncompressed at 32 bits per pixel, stays well below this.
constexpr qint64 kMaxFileBytes = qint64(2) << 30;

// Forwards the progress of one operation in rising order from 0 to 100. The codec's own
// 0..100 is mapped onto 0..99 so that 100 means the whole operation (file written,
// picture in place) is over.
class ProgressRun
{
public:
    explicit ProgressRun(const std::function<void(int)> &sink) : m_sink(sink) { forward(0); }
    ProgressFn codecProgress()
    {
        return [this](int percent) { forward(std::clamp(percent, 0, 100) * 99 / 100); };
    }
    void finish() { forward(100); }

private:
    void forward(int percent)
    {
        if (percent <= m_last)
            return;
        m_last = percent;
        if (m_sink)
            m_sink(percent);
    }

    std::function<void(int)> m_sink;
    int m_last = -1;
};

QByteArray readWholeFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    const qint64 size = file.size();
    if (size <= 0 || size > kMaxFileBytes)
        return QByteArray();
    QByteArray bytes;
    bytes.resize(qsizetype(size));
    qint64 done = 0;
    while (done < size) {
        const qint64 n = file.read(bytes.data() + done, size - done);
        if (n <= 0)
            break;
        done += n;
    }
    bytes.resize(qsizetype(done));   // a file that shrank meanwhile is decoded as it is
    return bytes;
}

// Written whole or not at all: the bytes go to a temporary file in the target folder,
// which replaces the target only once everything is on disk.
bool writeWholeFile(const QString &path, const QByteArray &bytes)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    if (file.write(bytes) != bytes.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

// Pictures with transparency are shown over white, as the loaders do.
QImage toRgb32(const QImage &picture)
{
    if (picture.isNull() || picture.format() == QImage::Format_RGB32)
        return picture;
    if (!picture.hasAlphaChannel())
        return picture.convertToFormat(QImage::Format_RGB32);
    QImage image = picture.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y) {
        auto *row = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const int a = qAlpha(row[x]);
            const int white = (255 - a) * 255;
            const auto mix = [&](int c) { return (c * a + white + 127) / 255; };
            row[x] = qRgb(mix(qRed(row[x])), mix(qGreen(row[x])), mix(qBlue(row[x])));
        }
    }
    return image.convertToFormat(QImage::Format_RGB32);
}

// Only the low byte of a setting counts; values outside 1..100 fall back to the default.
int narrowed(int value, int fallback)
{
    const int low = value & 0xff;
    return low >= 1 && low <= 100 ? low : fallback;
}

} // namespace

MultiImage::MultiImage() = default;

void MultiImage::setImageName(const QString &path)
{
    m_imageName = path;
    // The old picture goes first, so that it and the new one are never held together.
    m_picture = QImage();
    if (!QFileInfo(path).isFile()) {
        notifyChanged();
        return;
    }

    ProgressRun progress(onProgress);
    {
        const QByteArray bytes = readWholeFile(path);
        if (!bytes.isEmpty())
            m_picture = ImageFormats::decodeFile(bytes, path, progress.codecProgress()).image;
    }
    progress.finish();
    notifyChanged();
    if (onFinishedLoadSave)
        onFinishedLoadSave();
}

void MultiImage::setPicture(const QImage &picture)
{
    m_picture = toRgb32(picture);
    notifyChanged();
}

void MultiImage::clearPicture()
{
    m_picture = QImage();
    notifyChanged();
}

void MultiImage::rotate(double angle)
{
    if (m_picture.isNull())
        throw InkwerkError(QStringLiteral("Input image is empty"));
    ProgressRun progress(onProgress);
    const int turns = quarterTurnsFor(angle);
    if (turns != 0) {
        QImage turned = rotatedPicture(m_picture, turns, progress.codecProgress());
        if (turned.isNull()) {
            throw InkwerkError(QStringLiteral(
                "An exception error occured in the imagelib dll. We recommend to exit the "
                "application and to restart it by clicking its icon!"));
        }
        m_picture = std::move(turned);
    }
    progress.finish();
    notifyChanged();
}

bool MultiImage::saveJpg(const QString &path) { return save(path, "jpg"); }
bool MultiImage::saveBmp(const QString &path) { return save(path, "bmp"); }
bool MultiImage::saveGif(const QString &path) { return save(path, "gif"); }
bool MultiImage::saveTif(const QString &path) { return save(path, "tif"); }
bool MultiImage::savePcx(const QString &path) { return save(path, "pcx"); }
bool MultiImage::saveTga(const QString &path) { return save(path, "tga"); }
bool MultiImage::savePng(const QString &path) { return save(path, "png"); }

bool MultiImage::save(const QString &path, const char *format)
{
    m_defSaveFilename = path;
    bool written = false;
    {
        ProgressRun progress(onProgress);
        if (!m_picture.isNull()) {
            ImageFormats::SaveOptions options;
            options.jpegQuality = m_jpegQuality;
            options.jpegSmoothing = m_jpegSmooth;
            options.pngInterlaced = m_pngInterlaced;
            const QByteArray bytes =
                ImageFormats::encode(m_picture, format, options, progress.codecProgress());
            written = !bytes.isEmpty() && writeWholeFile(path, bytes);
        }
        progress.finish();
    }
    if (onFinishedLoadSave)
        onFinishedLoadSave();
    return written;
}

void MultiImage::setJPegSaveQuality(int value)
{
    m_jpegQuality = narrowed(value, 25);
}

void MultiImage::setJPegSaveSmooth(int value)
{
    m_jpegSmooth = narrowed(value, 5);
}

void MultiImage::notifyChanged(const QRect &area)
{
    if (onChanged)
        onChanged(area);
}
