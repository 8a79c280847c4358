#include "batch/jobrenderer.h"

#include "batch/outputwriter.h"
#include "imaging/exifedit.h"
#include "imaging/jpegcodec.h"
#include "imaging/jpeglossless.h"
#include "imaging/wholefile.h"
#include "model/inkwerkerror.h"
#include "model/pathrules.h"
#include "model/settingsrow.h"
#include "stamp/rowstamp.h"
#include "stamp/stampfont.h"
#include "storage/configlist.h"

#include <QFile>
#include <QFileInfo>
#include <QTransform>

RenderOptions RenderOptions::fromConfig(const ConfigList &config, double dpi)
{
    RenderOptions o;
    o.jpegQuality = config.jpegQuality();
    o.jpegSmooth = config.jpegSmooth();
    o.pngInterlaced = config.pngInterlaced();
    o.exifPriority = config.exifPriority();
    o.losslessJpeg = config.losslessJpeg();
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
        p.timestamp = determineImageTimestamp(p.source, m_options.exifPriority, m_exif);
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
            // The stamp is too small to be seen in a thumbnail: the old one, turned as the
            // picture was, shows the copy.
            update.thumbnail = [turn](const QByteArray &old) {
                if (turn == JpegLossless::Turn::None)
                    return old;
                const QImage thumb = QImage::fromData(old, "JPEG");
                if (thumb.isNull())
                    return QByteArray();
                const QImage upright = thumb.transformed(
                    QTransform().rotate(turn == JpegLossless::Turn::Clockwise ? 90 : -90));
                return JpegCodec::encode(upright.convertToFormat(QImage::Format_RGB32), 80, 0, {});
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
