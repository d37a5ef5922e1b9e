#pragma once
// What today's unpacking and comparison would make of every entry, worked
// out from the central directory alone. No windows.h: the file system's
// answers come in as functions.
#include <functional>
#include <string>
#include <vector>

#include "engine/UpdateEntry.h"
#include "tar32/ZipDirectory.h"

struct ArchiveStamp {
    char time[kTimeTextSize] = {};
    int size = 0;
};

// The time text a file written with this time shows (GetFileStamp's); false
// when the time cannot be set or shown.
using TimeTextOf = std::function<bool(const tar32::FileTime& time, char* text)>;
// The stamp of an archive copy that the unpacking does not write: whatever
// lies in the temporary folder under that name (GetFileStamp's).
using StampInTempFolder = std::function<void(const std::string& fileName, ArchiveStamp& stamp)>;

constexpr std::size_t kNoMember = static_cast<std::size_t>(-1);

struct QuickPrediction {
    bool certain = false;             // false: only the unpacking can tell
    std::vector<ArchiveStamp> stamps; // one per entry, in chain order
    // One per entry: the member its archive copy comes from, or kNoMember.
    std::vector<std::size_t> sources;
    // The members that decide the entries that differ, ascending, each once.
    std::vector<std::size_t> deciding;
    int needsUpdate = 0;
};

QuickPrediction PredictComparison(const UpdateEntry* head,
                                  const std::vector<tar32::ZipMember>& members,
                                  const TimeTextOf& timeText, const StampInTempFolder& stampOnDisk);

// Gives every entry its predicted archive stamp and the state today's
// comparison sets; returns the count. With unpacked, an entry whose member
// is one of the deciding ones takes the stamp of its unpacked copy instead.
int ApplyPrediction(UpdateEntry* head, const QuickPrediction& prediction,
                    const StampInTempFolder& unpacked = nullptr);

// Whether Windows takes the two names for one file (ASCII letters in either
// case; other characters byte for byte), and whether it might (the
// double-byte letters with a case, and the characters code page 932 spells
// twice, are left to doubt).
bool SameFileName(const std::string& a, const std::string& b);
bool MaybeSameFileName(const std::string& a, const std::string& b);
