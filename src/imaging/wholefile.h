#pragma once

#include <QByteArray>
#include <QString>

// Written whole or not at all: the bytes go to a temporary file in the target folder,
// which replaces the target only once everything is on disk. False, with the target as
// it was, when any step fails.
bool writeWholeFile(const QString &path, const QByteArray &bytes);
