#pragma once
// One file named in the settings file's UpdateFiles section, with the stamps
// of its installed (local) copy and of its copy in the archive.
#include <functional>
#include <string>

// Processing state of an entry; the list shows it as a mark. Not an enum
// class: the values are fixed numbers. An entry holds one as EntryState, so
// that any other number is a cast someone wrote.
enum EntryState : int {
    NotCompared = 0, // "－"
    NeedsUpdate = 1, // "更"
    Unchanged = 2,   // "同"
    Updated = 3,     // "済"
    CopyFailed = 9,  // "×"
};

// The mark shown for a state; any value outside 0 to 3 shows "×".
const char* EntryMark(EntryState state);

constexpr int kTimeTextSize = 20;

struct UpdateEntry {
    std::string folder;   // below the program folder, "" or ending in '\'
    std::string fileName; // bare name, the same for both copies
    char localTime[kTimeTextSize] = {};
    char archiveTime[kTimeTextSize] = {};
    int localSize = 0;
    int archiveSize = 0;
    EntryState state = NotCompared;
    UpdateEntry* next = nullptr;
};

// The comparison of the check, once the archive stamp is in place: a usable
// stamp (size above 0) that differs from the local one makes the entry
// NeedsUpdate, an equal one Unchanged; an unusable one changes nothing.
// True when the entry is to be counted.
bool CompareArchiveStamp(UpdateEntry& entry);

// Key of the n-th entry (1-based): F01 ... F99, F100, ...
std::string EntryKeyName(int n);

// Splits an UpdateFiles value at its first comma into file name and folder.
void SplitEntryValue(const std::string& value, std::string& fileName, std::string& folder);

// Builds the chain from F01 onwards up to the first empty value. readValue
// returns the value of one key; stampLocal stamps each new entry's local copy.
UpdateEntry* LoadEntryChain(const std::function<std::string(const std::string& key)>& readValue,
                            const std::function<void(UpdateEntry& entry)>& stampLocal);

// Releases every entry from head on and sets head to null.
void FreeEntryChain(UpdateEntry*& head);
