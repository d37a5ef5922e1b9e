#include <gtest/gtest.h>

#include <map>

#include "engine/UpdateEntry.h"
#include "tests/support/SystemTexts.h"

namespace {

// Values "f1", "f2", ... under the first count keys.
std::map<std::string, std::string> Numbered(int count) {
    std::map<std::string, std::string> values;
    for (int n = 1; n <= count; ++n)
        values[EntryKeyName(n)] = "f" + std::to_string(n);
    return values;
}

TEST(EntryKeyName, TwoDigitsThenAsManyAsNeeded) {
    std::vector<std::string> keys;
    for (int n : {1, 2, 9, 10, 11, 99, 100, 101, 12345})
        keys.push_back(EntryKeyName(n));
    EXPECT_EQ(keys, std::vector<std::string>(
                        {"F01", "F02", "F09", "F10", "F11", "F99", "F100", "F101", "F12345"}));
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
    // Each entry as "folder|name|state|archive time|archive size".
    std::vector<std::string> Rows() const {
        std::vector<std::string> rows;
        for (UpdateEntry* e = head; e != nullptr; e = e->next)
            rows.push_back(e->folder + "|" + e->fileName + "|" + std::to_string(e->state) + "|" +
                           e->archiveTime + "|" + std::to_string(e->archiveSize));
        return rows;
    }

    UpdateEntry* head = nullptr;
    std::vector<std::string> read;
    std::vector<std::string> stamped;

  private:
    std::map<std::string, std::string> values_;
};

TEST(LoadEntryChain, EndsAtTheFirstEmptyKey) {
    Chain gap({{"F01", "a.exe"}, {"F02", "b.dll"}, {"F04", "d.txt"}});
    EXPECT_EQ(gap.Rows(), std::vector<std::string>({"|a.exe|0||0", "|b.dll|0||0"}));
    EXPECT_EQ(gap.read, std::vector<std::string>({"F01", "F02", "F03"}));

    Chain firstEmpty(std::map<std::string, std::string>{{"F02", "b.dll"}});
    EXPECT_EQ(firstEmpty.head, nullptr);
    EXPECT_EQ(firstEmpty.read, std::vector<std::string>({"F01"}));
}

// Every entry starts uncompared with an empty archive stamp, and is stamped
// once, in order.
TEST(LoadEntryChain, SplitsValuesAndKeepsKeyOrder) {
    Chain chain({{"F01", "app.exe"},
                 {"F02", "data.dat,data\\"},
                 {"F03", "readme.txt,doc"},
                 {"F04", ",doc"},
                 {"F05", "a.txt,b,c"},
                 {"F06", "表示.txt,設定\\"}});
    EXPECT_EQ(chain.Rows(), std::vector<std::string>({"|app.exe|0||0", "data\\|data.dat|0||0",
                                                      "doc|readme.txt|0||0", "|,doc|0||0",
                                                      "b,c|a.txt|0||0", "設定\\|表示.txt|0||0"}));
    EXPECT_EQ(chain.stamped, std::vector<std::string>({"app.exe", "data\\data.dat", "docreadme.txt",
                                                       ",doc", "b,ca.txt", "設定\\表示.txt"}));
}

TEST(LoadEntryChain, PastNinetyNineEntries) {
    Chain chain(Numbered(120));
    std::vector<std::string> rows;
    for (int n = 1; n <= 120; ++n)
        rows.push_back("|f" + std::to_string(n) + "|0||0");
    EXPECT_EQ(chain.Rows(), rows);
    EXPECT_EQ(chain.read.back(), "F121");
}

TEST(FreeEntryChain, ReleasesALongChainAndClearsHead) {
    Chain chain(Numbered(5000));
    FreeEntryChain(chain.head);
    EXPECT_EQ(chain.head, nullptr);
    FreeEntryChain(chain.head); // a second release is harmless
}

} // namespace
