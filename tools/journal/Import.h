#pragma once

#include "journal/Record.h"

#include <QString>

#include <vector>

namespace lorimet::journal {

struct ImportedFile {
    std::vector<Record> records; // one per complete block, without station, chain or id
    bool damaged = false;        // reading stopped at damage; the blocks before it are kept
    qsizetype damageLine = -1;
};

// The analyses of a protocol file or a day file (both are protocol texts), each block a completed analysis
// with source "import:" + the file's name. A block's import key is the digest of its lines, so a block
// imported again (from this file or from a copy of it) is recognised. nullopt when the file cannot be
// read.
std::optional<ImportedFile> importProtocolFile(const QString& path);

} // namespace lorimet::journal
