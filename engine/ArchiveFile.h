#pragma once
// The archive file in the temporary folder as the transfers write it: made
// anew and shared with nobody, written only while its volume keeps the
// margin the archive library keeps when unpacking, and read back at its ends
// to tell a body without a length from a cut one.
#include <optional>
#include <string>

#include "engine/Transfer.h"
#include "win/ScopedHandle.h"

class ArchiveFile {
  public:
    // Creates path anew, truncating an old file. False, with the
    // temporary-file message shown, when it cannot be created.
    bool Create(const std::string& path);

    // Where a body goes; an empty sink when the length it announces would
    // not leave the margin free. The sink itself refuses (false) a block
    // that would not, or that cannot be written, and says why.
    BodySink Sink(const std::optional<unsigned long long>& length);

    // Empties the file for a body that starts again from its first byte.
    bool Restart();

    // Whether what was written ends as the archive it begins as
    // (engine/ArchiveEnds.h).
    bool EndsWhole();

    unsigned long long Written() const { return written_; }

    // The unpacking opens the file by its name.
    void Close() { file_.reset(); }

  private:
    bool Allows(unsigned long long bytes);
    bool ReadAt(unsigned long long offset, void* buffer, std::size_t size);

    std::string path_;
    std::string folder_;
    ScopedFile file_;
    unsigned long long written_ = 0;
    unsigned long long sinceCheck_ = 0;
    unsigned long long free_ = 0;
    bool freeKnown_ = false;
};

// For tests only: the free space the archive's volume keeps, instead of
// 16 MiB; returns the one before. The program never calls it.
unsigned long long SetFreeSpaceMarginForTests(unsigned long long bytes);
