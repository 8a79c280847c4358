#include "fuzzseeds.h"
#include "fuzztargets.h"

#include "imaging/codecs/imageformats.h"
#include "imaging/metadata/picturemetadata.h"

#include <QDir>
#include <QtTest>

// The fuzzers' starting points and their findings: every seed is a valid input that its
// target passes, and every input a fuzzer once found a fault with, kept in
// tests/data/malformed/<target>/, goes through its target again without a finding (the
// sanitizer build turns any bad access into a failure).
class TestFuzzCorpus : public QObject
{
    Q_OBJECT

private slots:
    void seedsAreValidInputs_data();
    void seedsAreValidInputs();
    void findingsStayMended();
};

namespace {

bool runs(const FuzzTargets::Target &target, const QByteArray &bytes)
{
    return target.run(reinterpret_cast<const uint8_t *>(bytes.constData()), size_t(bytes.size()));
}

// The picture file a seed of a picture target holds, with the name that picks its reader;
// empty for the other targets.
QPair<QString, QByteArray> pictureOf(const QString &target, const FuzzSeeds::Seed &seed)
{
    if (target == QLatin1String("load") && !seed.bytes.isEmpty()) {
        const int suffix = uchar(seed.bytes[0]) % FuzzTargets::kSuffixCount;
        return {QStringLiteral("seed.") + QLatin1String(FuzzTargets::kSuffixes[suffix]),
                seed.bytes.mid(1)};
    }
    if (target == QLatin1String("settings") || target == QLatin1String("metadata"))
        return {};
    return {seed.name, seed.bytes};
}

} // namespace

void TestFuzzCorpus::seedsAreValidInputs_data()
{
    QTest::addColumn<QString>("target");
    for (const FuzzTargets::Target &target : FuzzTargets::all())
        QTest::newRow(qPrintable(target.name)) << target.name;
}

void TestFuzzCorpus::seedsAreValidInputs()
{
    QFETCH(QString, target);
    const FuzzTargets::Target *fuzzTarget = FuzzTargets::find(target);
    QVERIFY(fuzzTarget);
    const QList<FuzzSeeds::Seed> seeds = FuzzSeeds::forTarget(target);
    QVERIFY(!seeds.isEmpty());
    for (const FuzzSeeds::Seed &seed : seeds) {
        QVERIFY2(seed.bytes.size() > 20, qPrintable(seed.name));
        QVERIFY2(seed.bytes.size() < 20000, qPrintable(seed.name));   // fuzzing stays fast
        QVERIFY2(runs(*fuzzTarget, seed.bytes), qPrintable(seed.name));
        // A seed that does not decode would only ever reach the header checks.
        const auto [path, picture] = pictureOf(target, seed);
        if (!path.isEmpty()) {
            const Codec::Decoded decoded = ImageFormats::decodeFile(picture, path, {});
            QVERIFY2(decoded.ok(), qPrintable(seed.name + ": " + decoded.error));
        }
        if (target == QLatin1String("metadata") && seed.name.endsWith(QLatin1String(".jpg")))
            QVERIFY2(!PictureMetadata::fromJpeg(seed.bytes).exif().isEmpty(), qPrintable(seed.name));
    }
}

void TestFuzzCorpus::findingsStayMended()
{
    const QDir corpus(qEnvironmentVariable("INKWERK_TEST_DATA") + "/malformed");
    QVERIFY2(corpus.exists(), qPrintable("no findings folder " + corpus.path()));
    int replayed = 0;
    for (const QString &folder : corpus.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        // A folder no target reads would silently replay nothing.
        const FuzzTargets::Target *target = FuzzTargets::find(folder);
        QVERIFY2(target, qPrintable("no fuzz target " + folder));
        const QDir findings(corpus.filePath(folder));
        for (const QFileInfo &info : findings.entryInfoList(QDir::Files)) {
            QFile file(info.filePath());
            QVERIFY(file.open(QIODevice::ReadOnly));
            QVERIFY2(runs(*target, file.readAll()), qPrintable(folder + '/' + info.fileName()));
            ++replayed;
        }
    }
    QVERIFY2(replayed > 0, "no findings replayed");
}

QTEST_GUILESS_MAIN(TestFuzzCorpus)
#include "test_fuzzcorpus.moc"
