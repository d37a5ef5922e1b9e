// Building and releasing the chain of update entries. No windows.h here: the
// settings reader and the stamping come in as functions.
#include <cstdio>
#include <cstring>

#include "engine/UpdateEntry.h"
#include "text/ShiftJis.h"

const char* EntryMark(EntryState state) {
    switch (state) {
    case NotCompared:
        return "－";
    case NeedsUpdate:
        return "更";
    case Unchanged:
        return "同";
    case Updated:
        return "済";
    default:
        return "×";
    }
}

std::string EntryKeyName(int n) {
    char key[16];
    std::snprintf(key, sizeof(key), "F%2.2d", n);
    return key;
}

void SplitEntryValue(const std::string& value, std::string& fileName, std::string& folder) {
    sjis::SplitAtFirstComma(value, fileName, folder);
}

UpdateEntry* LoadEntryChain(const std::function<std::string(const std::string& key)>& readValue,
                            const std::function<void(UpdateEntry& entry)>& stampLocal) {
    UpdateEntry* head = nullptr;
    UpdateEntry** tail = &head;
    int n = 1;
    for (std::string value = readValue(EntryKeyName(n)); !value.empty();
         value = readValue(EntryKeyName(++n))) {
        auto* entry = new UpdateEntry;
        SplitEntryValue(value, entry->fileName, entry->folder);
        *tail = entry;
        tail = &entry->next;
        stampLocal(*entry);
    }
    return head;
}

void FreeEntryChain(UpdateEntry*& head) {
    while (head != nullptr) {
        UpdateEntry* next = head->next;
        delete head;
        head = next;
    }
}

bool CompareArchiveStamp(UpdateEntry& entry) {
    // A missing or empty archive copy says nothing about the file.
    if (entry.archiveSize <= 0)
        return false;
    if (std::strncmp(entry.localTime, entry.archiveTime, kTimeTextSize) != 0 ||
        entry.localSize != entry.archiveSize) {
        entry.state = NeedsUpdate;
        return true;
    }
    entry.state = Unchanged;
    return false;
}
