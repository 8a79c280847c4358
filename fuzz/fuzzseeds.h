#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// The inputs every fuzzer starts from, made afresh rather than kept as files: small valid
// pictures of every format (JPEGs with EXIF in both byte orders, a colour profile, XMP,
// restart markers, each chroma sampling, progressive, grey and CMYK; PNGs with eXIf and
// iCCP; TIFFs of the kinds read sample by sample), layout and settings files. A fuzzer
// that starts from valid files reaches the code behind the headers at once.
namespace FuzzSeeds {

struct Seed {
    QString name;
    QByteArray bytes;
};

// The seeds of the target of that name (see FuzzTargets); empty for an unknown name.
QList<Seed> forTarget(const QString &target);

// Writes the seeds of every target into folder/<target>/; false when one cannot be
// written.
bool writeAll(const QString &folder);

} // namespace FuzzSeeds
