#include <gtest/gtest.h>

#include <map>

#include "engine/UpdateEntry.h"
#include "tests/support/SystemTexts.h"

namespace {

std::vector<std::string> Keys(int from, int to) {
    std::vector<std::string> keys;
    for (int n = from; n <= to; ++n)
        keys.push_back(EntryKeyName(n));
    return keys;
}

TEST(EntryKeyName, TwoDigitsThenAsManyAsNeeded) {
    EXPECT_EQ(Keys(1, 2), std::vector<std::string>({"F01", "F02"}));
    EXPECT_EQ(Keys(9, 11), std::vector<std::string>({"F09", "F10", "F11"}));
    EXPECT_EQ(Keys(99, 101), std::vector<std::string>({"F99", "F100", "F101"}));
    EXPECT_EQ(EntryKeyName(12345), "F12345");
}

TEST(EntryMark, EveryStateAndTheRest) {
    const struct {
        EntryState state;
        const std::string& mark;
    } cases[] = {{NotCompared, texts::kMarkNotCompared},
                 {NeedsUpdate, texts::kMarkNeedsUpdate},
                 {Unchanged, texts::kMarkUnchanged},
                 {Updated, texts::kMarkUpdated},
                 {CopyFailed, texts::kMarkFailed},
                 {static_cast<EntryState>(4), texts::kMarkFailed},
                 {static_cast<EntryState>(-1), texts::kMarkFailed}};
    for (const auto& c : cases)
        EXPECT_EQ(EntryMark(c.state), c.mark) << static_cast<int>(c.state);
}

struct Chain {
    explicit Chain(std::map<std::string, std::string> values) : values_(std::move(values)) {
        head = LoadEntryChain(
            [this](const std::string& key) {
                read.push_back(key);
                auto it = values_.find(key);
                return it == values_.end() ? std::string() : it->second;
            },
            [this](UpdateEntry& entry) { stamped.push_back(entry.folder + entry.fileName); });
    }
    ~Chain() { FreeEntryChain(head); }
    std::vector<UpdateEntry*> Entries() const {
        std::vector<UpdateEntry*> entries;
        for (UpdateEntry* e = head; e != nullptr; e = e->next)
            entries.push_back(e);
        return entries;
    }

    UpdateEntry* head = nullptr;
    std::vector<std::string> read;
    std::vector<std::string> stamped;

  private:
    std::map<std::string, std::string> values_;
};

TEST(LoadEntryChain, EndsAtTheFirstEmptyKey) {
    Chain gap({{"F01", "a.exe"}, {"F02", "b.dll"}, {"F04", "d.txt"}});
    EXPECT_EQ(gap.Entries().size(), 2u);
    EXPECT_EQ(gap.read, std::vector<std::string>({"F01", "F02", "F03"}));

    Chain firstEmpty(std::map<std::string, std::string>{{"F02", "b.dll"}});
    EXPECT_EQ(firstEmpty.head, nullptr);
    EXPECT_EQ(firstEmpty.read, std::vector<std::string>({"F01"}));
}

TEST(LoadEntryChain, SplitsValuesAndKeepsKeyOrder) {
    Chain chain({{"F01", "app.exe"},
                 {"F02", "data.dat,data\\"},
                 {"F03", "readme.txt,doc"},
                 {"F04", ",doc"},
                 {"F05", "a.txt,b,c"},
                 {"F06", "表示.txt,設定\\"}});
    auto entries = chain.Entries();
    ASSERT_EQ(entries.size(), 6u);
    EXPECT_EQ(entries[0]->fileName, "app.exe");
    EXPECT_EQ(entries[0]->folder, "");
    EXPECT_EQ(entries[1]->fileName, "data.dat");
    EXPECT_EQ(entries[1]->folder, "data\\");
    EXPECT_EQ(entries[2]->folder + entries[2]->fileName, "docreadme.txt");
    EXPECT_EQ(entries[3]->fileName, ",doc");
    EXPECT_EQ(entries[3]->folder, "");
    EXPECT_EQ(entries[4]->folder, "b,c");
    EXPECT_EQ(entries[5]->fileName, "表示.txt");
    EXPECT_EQ(entries[5]->folder, "設定\\");
    // Every entry starts uncompared with an empty archive stamp, and is
    // stamped once, in order.
    for (UpdateEntry* e : entries) {
        EXPECT_EQ(e->state, NotCompared);
        EXPECT_EQ(e->archiveTime[0], '\0');
        EXPECT_EQ(e->archiveSize, 0);
    }
    EXPECT_EQ(chain.stamped.front(), "app.exe");
    EXPECT_EQ(chain.stamped[1], "data\\data.dat");
    EXPECT_EQ(chain.stamped.size(), 6u);
}

TEST(LoadEntryChain, PastNinetyNineEntries) {
    std::map<std::string, std::string> values;
    for (int n = 1; n <= 120; ++n)
        values[EntryKeyName(n)] = "f" + std::to_string(n);
    Chain chain(values);
    auto entries = chain.Entries();
    ASSERT_EQ(entries.size(), 120u);
    EXPECT_EQ(entries[99]->fileName, "f100");
    EXPECT_EQ(chain.read.back(), "F121");
}

TEST(FreeEntryChain, ReleasesALongChainAndClearsHead) {
    std::map<std::string, std::string> values;
    for (int n = 1; n <= 5000; ++n)
        values[EntryKeyName(n)] = "x";
    Chain chain(values);
    FreeEntryChain(chain.head);
    EXPECT_EQ(chain.head, nullptr);
    FreeEntryChain(chain.head); // a second release is harmless
}

} // namespace
