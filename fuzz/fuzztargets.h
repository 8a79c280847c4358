#pragma once

#include <QList>
#include <QString>
#include <cstddef>
#include <cstdint>

// The fuzz targets as plain functions, so that the fuzzers, the seed check and the replay
// of earlier findings all run the very same code. A target gives false for a finding that
// is no crash (a picture that does not survive its own round trip, a settings file that
// reads back otherwise than it was saved); a crash is a finding by itself.
namespace FuzzTargets {

using Run = bool (*)(const uint8_t *data, size_t size);

struct Target {
    QString name;   // the fuzzer is fuzz_<name>; its findings live in a folder <name>
    Run run;
};

// Every target, in a fixed order.
const QList<Target> &all();
// The target of that name; nullptr when there is none.
const Target *find(const QString &name);

// The whole load path takes its file's extension from the first byte of the input:
// input[0] % kSuffixCount picks one of these, the rest is the file.
inline constexpr const char *kSuffixes[] = {"jpg", "png", "gif", "tif", "bmp", "pcx", "tga", "xyz"};
inline constexpr int kSuffixCount = 8;

} // namespace FuzzTargets
