#include "engine/QuickVerdict.h"

#include <algorithm>
#include <cstring>

#include "tar32/Names.h"
#include "text/ShiftJis.h"

namespace {

// The downloaded archive's name in the temporary folder.
const char kArchiveName[] = "Archive.zip";

char FoldAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// Double-byte characters that may have another spelling for the file system:
// full-width Latin, Greek and Cyrillic letters (rows 0x82 to 0x84), the NEC
// and IBM extensions (0x87, 0xED to 0xFC) and the symbols they repeat (0x81).
bool MayFold(unsigned char lead) {
    return (lead >= 0x81 && lead <= 0x84) || lead == 0x87 || lead >= 0xED;
}

bool CompareNames(const std::string& a, const std::string& b, bool allowDoubt) {
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < a.size() && j < b.size()) {
        const std::size_t nextA = sjis::NextChar(a, i);
        const std::size_t nextB = sjis::NextChar(b, j);
        if (nextA - i != nextB - j)
            return false;
        if (nextA - i == 1) {
            if (FoldAscii(a[i]) != FoldAscii(b[j]))
                return false;
        } else if (a.compare(i, nextA - i, b, j, nextB - j) != 0 &&
                   !(allowDoubt && MayFold(static_cast<unsigned char>(a[i])) &&
                     MayFold(static_cast<unsigned char>(b[j])))) {
            return false;
        }
        i = nextA;
        j = nextB;
    }
    return i == a.size() && j == b.size();
}

// A name that reaches exactly one file of that name in the temporary
// folder: no path, wildcard, stream, device or trailing dot, no "~" that a
// short name could hide behind, and not the downloaded archive itself.
bool PlainFileName(const std::string& name) {
    return tar32::UnsafeComponentReason(name) == nullptr && name.find('~') == std::string::npos &&
           !MaybeSameFileName(name, kArchiveName);
}

} // namespace

bool SameFileName(const std::string& a, const std::string& b) {
    return CompareNames(a, b, false);
}

bool MaybeSameFileName(const std::string& a, const std::string& b) {
    return CompareNames(a, b, true);
}

QuickPrediction PredictComparison(const UpdateEntry* head,
                                  const std::vector<tar32::ZipMember>& members,
                                  const TimeTextOf& timeText,
                                  const StampInTempFolder& stampOnDisk) {
    // The unpacking refuses the whole archive for a member that would be
    // written over the archive itself.
    for (const tar32::ZipMember& member : members) {
        if (member.type == tar32::ZipMember::File &&
            MaybeSameFileName(member.bareName, kArchiveName))
            return QuickPrediction();
    }
    QuickPrediction prediction;
    for (const UpdateEntry* entry = head; entry != nullptr; entry = entry->next) {
        if (!PlainFileName(entry->fileName))
            return QuickPrediction();
        // Members are written in the directory's order, each over any
        // earlier file of its name: the last one is what is stamped.
        const tar32::ZipMember* written = nullptr;
        for (const tar32::ZipMember& member : members) {
            if (member.type == tar32::ZipMember::File &&
                MaybeSameFileName(member.bareName, entry->fileName))
                written = &member;
        }
        prediction.sources.push_back(written ? static_cast<std::size_t>(written - members.data())
                                             : kNoMember);
        ArchiveStamp stamp;
        if (written == nullptr) {
            stampOnDisk(entry->fileName, stamp);
        } else {
            // A member without a time is written at the time of unpacking.
            if (!SameFileName(written->bareName, entry->fileName) ||
                written->time.kind == tar32::FileTime::None || !timeText(written->time, stamp.time))
                return QuickPrediction();
            stamp.time[kTimeTextSize - 1] = '\0';
            stamp.size = static_cast<int>(static_cast<std::uint32_t>(written->size));
        }
        UpdateEntry probe = *entry;
        probe.next = nullptr;
        std::memcpy(probe.archiveTime, stamp.time, kTimeTextSize);
        probe.archiveSize = stamp.size;
        if (CompareArchiveStamp(probe)) {
            ++prediction.needsUpdate;
            if (written != nullptr)
                prediction.deciding.push_back(prediction.sources.back());
        }
        prediction.stamps.push_back(stamp);
    }
    std::sort(prediction.deciding.begin(), prediction.deciding.end());
    prediction.deciding.erase(std::unique(prediction.deciding.begin(), prediction.deciding.end()),
                              prediction.deciding.end());
    prediction.certain = true;
    return prediction;
}

int ApplyPrediction(UpdateEntry* head, const QuickPrediction& prediction,
                    const StampInTempFolder& unpacked) {
    int count = 0;
    std::size_t n = 0;
    for (UpdateEntry* entry = head; entry != nullptr && n < prediction.stamps.size();
         entry = entry->next, ++n) {
        ArchiveStamp stamp = prediction.stamps[n];
        if (unpacked && std::binary_search(prediction.deciding.begin(), prediction.deciding.end(),
                                           prediction.sources[n]))
            unpacked(entry->fileName, stamp);
        std::memcpy(entry->archiveTime, stamp.time, kTimeTextSize);
        entry->archiveSize = stamp.size;
        if (CompareArchiveStamp(*entry))
            ++count;
    }
    return count;
}
