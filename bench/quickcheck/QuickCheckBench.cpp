// One check of a prepared program folder, timed: the settings file there
// says where the archive is and whether the quick check is on.
//
//   quickcheck_bench.exe PROGRAM_FOLDER (ending in a backslash) [update]
//
// Prints "check <seconds> <result> <count>", and with "update" then
// "update <result>" after the changed files were copied.
#include <windows.h>

#include <cstdio>
#include <string>

#include "app/UpdaterApp.h"
#include "engine/UpdateEntry.h"

namespace {

// The program folder is the one given; messages go to the console.
class BenchApp : public UpdaterApp {
  public:
    explicit BenchApp(std::string folder) : folder_(std::move(folder)) {
        InitModuleNames(nullptr);
        profile_ = folder_ + "Tovarind.ini";
        SetProfileName(profile_);
    }
    int DoMessageBox(const char* prompt, UINT, UINT) override {
        std::fprintf(stderr, "message: %s\n", prompt);
        return IDOK;
    }

  protected:
    std::string ModulePath() const override { return folder_ + "Tovarind.exe"; }

  private:
    std::string folder_;
    std::string profile_;
};

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: quickcheck_bench PROGRAM_FOLDER\n");
        return 2;
    }
    BenchApp app(argv[1]);
    if (!app.LoadSettings())
        return 1;
    UpdateEntry* head = LoadEntryChain(
        [&app](const std::string& key) { return app.ReadProfileValue("UpdateFiles", key.c_str()); },
        [&app](UpdateEntry& entry) {
            app.GetFileStamp(false, entry.folder + entry.fileName, entry.localTime, kTimeTextSize,
                             &entry.localSize);
        });
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    int count = -1;
    const bool result = app.CheckForUpdates(head, &count);
    QueryPerformanceCounter(&end);
    const bool update = argc > 2 && std::string(argv[2]) == "update";
    const bool updated = update && app.ApplyUpdates(head);
    app.ClearTempFolder();
    FreeEntryChain(head);
    std::printf("check %.3f %d %d\n",
                static_cast<double>(end.QuadPart - start.QuadPart) /
                    static_cast<double>(frequency.QuadPart),
                result ? 1 : 0, count);
    if (update)
        std::printf("update %d\n", updated ? 1 : 0);
    return 0;
}
