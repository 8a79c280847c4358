#pragma once

#include "imaging/metadata/exifreader.h"
#include "imaging/multiimage.h"
#include "stamp/imagetimestamp.h"
#include "stamp/stampdrawer.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

class ConfigList;

// The program settings a job is rendered with.
struct RenderOptions {
    int jpegQuality = 80;
    int jpegSmooth = 20;
    bool pngInterlaced = false;
    bool exifPriority = true;
    double dpi = 96.0;
    // Carry the source's metadata (EXIF, XMP, ICC profile, IPTC, comment) into the copy.
    bool keepMetadata = true;
    // A JPEG written from a JPEG keeps the source's compressed data and re-encodes only
    // the blocks under the stamp, where it can.
    bool losslessJpeg = false;
    // Added to every image timestamp; the time of rendering is never moved.
    TimeShift timeShift;

    static RenderOptions fromConfig(const ConfigList &config, double dpi);
};

// One job ready to render: its row, its timestamp and where it goes.
struct JobPlan {
    QString source;
    QStringList row;
    ImageTimestamp timestamp;
    QString output;
    // Why the job cannot be rendered (a cell the controls would refuse, an unreadable
    // date); empty when it can.
    QString error;

    bool replacesSource() const;
};

// Renders one job without widgets: load the source, turn it as Rot says, draw the stamp
// the row describes, write it in the source's format and set its file time. The window's
// START and the command line both render through this, so what they write is the same.
// One renderer serves many jobs one after the other; renderers in different threads
// share nothing.
class JobRenderer
{
public:
    enum class Outcome { Written, NotLoaded, NoWriter, NotSaved, InvalidSettings };
    struct Result {
        Outcome outcome = Outcome::NotLoaded;
        QString detail; // the error text for InvalidSettings
        // With lossless JPEG stamping on: whether the job took that path, else why not.
        bool lossless = false;
        QString fallback;
        bool ok() const { return outcome == Outcome::Written; }
    };

    explicit JobRenderer(const RenderOptions &options = RenderOptions());

    void setOptions(const RenderOptions &options) { m_options = options; }
    const RenderOptions &options() const { return m_options; }

    // Checks the row's cells as the window's controls would, reads the image timestamp
    // and finds the output path by the row's folder and naming options.
    JobPlan plan(const QStringList &row);
    // Loads, turns, stamps and writes the job to plan.output in image, whose events
    // report the load and the save; image holds no picture afterwards. The stamp's clock
    // (for the time source "aktuelle") is now.
    Result render(const JobPlan &plan, MultiImage &image,
                  const QDateTime &now = QDateTime::currentDateTime());
    // The same in a picture of the renderer's own.
    Result render(const JobPlan &plan) { return render(plan, m_image); }

private:
    // The job on the lossless JPEG path; false (with result.fallback) when the job needs
    // the full path.
    bool renderLossless(const JobPlan &plan, MultiImage &image, const QDateTime &now, Result &result);
    // The source's metadata brought in line with the picture written.
    PictureMetadata metadataFor(const QString &source, const QImage &written, bool turned) const;

    RenderOptions m_options;
    TExif m_exif;
    MultiImage m_image;
    StampDrawer m_drawer;
};
