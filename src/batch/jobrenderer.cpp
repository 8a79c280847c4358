#include "batch/jobrenderer.h"

#include "batch/outputwriter.h"
#include "imaging/metadata/exifedit.h"
#include "imaging/codecs/jpegcodec.h"
#include "imaging/lossless/jpeglossless.h"
#include "imaging/wholefile.h"
#include "model/inkwerkerror.h"
#include "model/pathrules.h"
#include "model/settingsrow.h"
#include "stamp/rowstamp.h"
#include "stamp/stampfont.h"
#include "storage/configlist.h"

#include <QFile>
#include <QFileInfo>
#include <QPainter>
#include <QTransform>

RenderOptions RenderOptions::fromConfig(const ConfigList &config, double dpi)
{
    RenderOptions o;
    o.jpegQuality = config.jpegQuality();
    o.jpegSmooth = config.jpegSmooth();
    o.pngInterlaced = config.pngInterlaced();
    o.exifPriority = config.exifPriority();
    o.losslessJpeg = config.losslessJpeg();
    o.timeShift = config.timeShift();
    o.dpi = dpi;
    return o;
}

bool JobPlan::replacesSource() const
{
    if (PathRules::samePath(output, source))
        return true;
    const QFileInfo out(output);
    return out.exists() && out.canonicalFilePath() == QFileInfo(source).canonicalFilePath();
}

JobRenderer::JobRenderer(const RenderOptions &options)
    : m_options(options)
{
}

JobPlan JobRenderer::plan(const QStringList &row)
{
    JobPlan p;
    p.row = row;
    p.source = row.value(Col::Datei);
    try {
        RowStamp::validate(row);
        p.timestamp = determineImageTimestamp(p.source, m_options.exifPriority, m_exif,
                                              m_options.timeShift);
        // The size is converted before anything is drawn, so a job whose stamp cannot be
        // drawn is refused before its picture is read.
        RowStamp::font(row, m_options.dpi);
    } catch (const InkwerkError &e) {
        p.error = e.message();
        return p;
    }
    p.output = OutputWriter::outputPath(row, p.timestamp.time);
    return p;
}

PictureMetadata JobRenderer::metadataFor(const QString &source, const QImage &written,
                                         bool turned) const
{
    if (!m_options.keepMetadata)
        return {};
    PictureMetadata metadata = PictureMetadata::readFromFile(source);
    const QByteArray exif = metadata.exif();
    if (!exif.isEmpty()) {
        ExifUpdate update;
        update.turned = turned;
        update.width = written.width();
        update.height = written.height();
        update.thumbnail = [&written](const QByteArray &) { return ExifEdit::thumbnailJpeg(written); };
        metadata.setExif(ExifEdit::update(exif, update));
    }
    return metadata;
}

namespace {

// The thumbnail of a picture stamped without decoding it: the old thumbnail, turned as the
// picture was, with the stamp drawn on it. The stamp is drawn at the picture's own scale
// on the part of the thumbnail under it, enlarged, and that part is then made small again,
// so the thumbnail shows the stamp as a thumbnail of the whole stamped picture would.
QByteArray stampedThumbnail(const QByteArray &old, JpegLossless::Turn turn, const QSize &picture,
                            const StampStyle &style)
{
    QImage thumb = QImage::fromData(old, "JPEG").convertToFormat(QImage::Format_RGB32);
    if (thumb.isNull() || picture.isEmpty())
        return QByteArray();
    if (turn != JpegLossless::Turn::None)
        thumb = thumb.transformed(QTransform().rotate(turn == JpegLossless::Turn::Clockwise ? 90 : -90));
    const double sx = double(thumb.width()) / picture.width();
    const double sy = double(thumb.height()) / picture.height();
    const QRect area = stampArea(picture, style) & QRect(QPoint(0, 0), picture);
    const QRect small = QRectF(area.x() * sx, area.y() * sy, area.width() * sx, area.height() * sy)
                            .toAlignedRect() & thumb.rect();
    if (!small.isEmpty()) {
        const QRect large = QRectF(small.x() / sx, small.y() / sy, small.width() / sx, small.height() / sy)
                                .toAlignedRect() & QRect(QPoint(0, 0), picture);
        QImage band = thumb.copy(small).scaled(large.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        paintStamp(band, large.topLeft(), picture, style);
        QPainter painter(&thumb);
        painter.drawImage(small, band.scaled(small.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
    }
    // A turn can take a thumbnail out of the 160 x 120 it must fit; a small one stays small.
    if (thumb.width() > 160 || thumb.height() > 120)
        return ExifEdit::thumbnailJpeg(thumb);
    return JpegCodec::encode(thumb, 80, 0, {});
}

} // namespace

bool JobRenderer::renderLossless(const JobPlan &plan, MultiImage &image, const QDateTime &now,
                                 Result &result)
{
    const QStringList &row = plan.row;
    if (row.value(Col::Suffix) != QLatin1String("jpg")) {
        result.fallback = QStringLiteral("the output is no JPEG");
        return false;
    }
    QFile file(plan.source);
    // Larger files than this are no photos; the full path gives them its own answer.
    constexpr qint64 kMaxSource = qint64(1) << 30;
    if (!file.open(QIODevice::ReadOnly) || file.size() > kMaxSource) {
        result.fallback = QStringLiteral("the source cannot be read");
        return false;
    }
    const QByteArray source = file.readAll();
    file.close();
    if (!source.startsWith("\xFF\xD8")) {
        result.fallback = QStringLiteral("the source is no JPEG");
        return false;
    }
    StampStyle style;
    try {
        const QString text = RowStamp::text(row, plan.timestamp.time, now);
        style = RowStamp::style(row, text, RowStamp::font(row, m_options.dpi));
    } catch (const InkwerkError &e) {
        result.outcome = Outcome::InvalidSettings;
        result.detail = e.message();
        return true;
    }
    const QString rot = row.value(Col::Rot);
    const JpegLossless::Turn turn = rot == QLatin1String("1") ? JpegLossless::Turn::Clockwise
                                  : rot == QLatin1String("2") ? JpegLossless::Turn::CounterClockwise
                                                              : JpegLossless::Turn::None;
    JpegLossless::Result stamped = JpegLossless::stamp(
        source, turn, [&style](const QSize &picture) { return stampArea(picture, style); },
        [&style](QImage &band, const QPoint &origin, const QSize &picture) {
            paintStamp(band, origin, picture, style);
        });
    if (!stamped.ok()) {
        result.fallback = stamped.fallback;
        return false;
    }
    // The window counts a load and a save per job.
    if (image.onFinishedLoadSave)
        image.onFinishedLoadSave();
    if (m_options.keepMetadata) {
        PictureMetadata metadata = PictureMetadata::fromJpeg(source);
        const QByteArray exif = metadata.exif();
        if (!exif.isEmpty()) {
            ExifUpdate update;
            update.turned = turn != JpegLossless::Turn::None;
            update.width = stamped.size.width();
            update.height = stamped.size.height();
            update.thumbnail = [&](const QByteArray &old) {
                return stampedThumbnail(old, turn, stamped.size, style);
            };
            metadata.setExif(ExifEdit::update(exif, update));
        }
        metadata.insertIntoJpeg(stamped.bytes);
    }
    const bool saved = writeWholeFile(plan.output, stamped.bytes);
    if (image.onFinishedLoadSave)
        image.onFinishedLoadSave();
    if (!saved) {
        result.outcome = Outcome::NotSaved;
        return true;
    }
    if (SettingsRow::isOn(row.value(Col::TimeDat)))
        OutputWriter::setFileTime(plan.output, plan.timestamp.time);
    result.outcome = Outcome::Written;
    result.lossless = true;
    return true;
}

JobRenderer::Result JobRenderer::render(const JobPlan &plan, MultiImage &image, const QDateTime &now)
{
    Result result;
    if (!plan.error.isEmpty()) {
        result.outcome = Outcome::InvalidSettings;
        result.detail = plan.error;
        return result;
    }
    const QStringList &row = plan.row;
    if (m_options.losslessJpeg && renderLossless(plan, image, now, result))
        return result;
    m_drawer.forget();
    // Only the picture of this job is held: memory stays flat however many jobs follow.
    image.clearPicture();
    image.setJPegSaveQuality(m_options.jpegQuality);
    image.setJPegSaveSmooth(m_options.jpegSmooth);
    image.setPNGInterLaced(m_options.pngInterlaced);
    image.setImageName(plan.source);
    if (image.isEmpty())
        return result;
    const QString rot = row.value(Col::Rot);
    const bool turned = rot == QLatin1String("1") || rot == QLatin1String("2");

    try {
        if (turned)
            image.rotate(rot == QLatin1String("1") ? -90.0 : 90.0);
        const QString text = RowStamp::text(row, plan.timestamp.time, now);
        const QFont font = RowStamp::font(row, m_options.dpi);
        m_drawer.draw(image.picture(), RowStamp::style(row, text, font));
    } catch (const InkwerkError &e) {
        result.outcome = Outcome::InvalidSettings;
        result.detail = e.message();
        return result;
    }
    m_drawer.forget();

    const QString type = row.value(Col::Suffix);
    if (!OutputWriter::typeHasWriter(type)) {
        result.outcome = Outcome::NoWriter;
        return result;
    }
    image.setSaveMetadata(metadataFor(plan.source, image.picture(), turned));
    const bool saved = OutputWriter::saveByType(image, type, plan.output);
    image.clearSaveMetadata();
    if (!saved) {
        result.outcome = Outcome::NotSaved;
        return result;
    }
    image.clearPicture();
    if (SettingsRow::isOn(row.value(Col::TimeDat)))
        OutputWriter::setFileTime(plan.output, plan.timestamp.time);
    result.outcome = Outcome::Written;
    return result;
}
