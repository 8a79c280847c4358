// Writes the seeds of every fuzz target into FOLDER/<target>/, for scripts/fuzz.
#include "fuzzseeds.h"

#include <QCoreApplication>
#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    if (!FuzzSeeds::writeAll(QString::fromLocal8Bit(argv[1]))) {
        std::fprintf(stderr, "cannot write the seeds into %s\n", argv[1]);
        return 1;
    }
    return 0;
}
