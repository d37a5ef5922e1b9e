// Times, in one process under Wine, the main dialog from construction to
// its first idle moment with 1,000 listed files, against the bare dialog
// template (no initialisation, no list); and repainting the owner-drawn list
// against a plain report list view holding the same rows as text.
#include <windows.h>

#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "app/UpdaterApp.h"
#include "engine/UpdateEntry.h"
#include "res/resource.h"
#include "ui/MainDialog.h"
#include "win/ScopedHandle.h"

namespace {

const int kEntries = 1000;
const int kRuns = 5;
const int kRepaints = 20;

class BenchApp : public UpdaterApp {
  public:
    explicit BenchApp(std::string folder) : folder_(std::move(folder)) { InitModuleNames(nullptr); }
    int DoMessageBox(const char*, UINT, UINT) override { return IDOK; }

  protected:
    std::string ModulePath() const override { return folder_ + "Tovarind.exe"; }

  private:
    std::string folder_;
};

double Now() {
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

std::function<void()> g_step;
void CALLBACK RunStep(HWND, UINT, UINT_PTR id, DWORD) {
    KillTimer(nullptr, id);
    std::function<void()> step = std::move(g_step);
    step();
}
// Runs step at the modal loop's first idle moment.
void AtFirstIdle(std::function<void()> step) {
    g_step = std::move(step);
    SetTimer(nullptr, 0, 0, &RunStep);
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double TimeRepaints(HWND list) {
    const double start = Now();
    for (int i = 0; i < kRepaints; ++i)
        RedrawWindow(list, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    return (Now() - start) / kRepaints;
}

// A plain report list view in a window of its own, same size, same rows.
double TimePlainList(const RECT& size, const UpdateEntry* head) {
    HWND frame =
        CreateWindowExA(0, "STATIC", "", WS_POPUP | WS_VISIBLE, 400, 0, size.right - size.left + 20,
                        size.bottom - size.top + 20, nullptr, nullptr, nullptr, nullptr);
    HWND list = CreateWindowExA(0, WC_LISTVIEWA, "", WS_CHILD | WS_VISIBLE | WS_BORDER | LVS_REPORT,
                                0, 0, size.right - size.left, size.bottom - size.top, frame,
                                nullptr, nullptr, nullptr);
    const int widths[] = {30, 185, 120, 60, 50};
    for (int c = 0; c < 5; ++c) {
        LVCOLUMNA column = {};
        column.mask = LVCF_WIDTH | LVCF_TEXT;
        column.cx = widths[c];
        column.pszText = const_cast<char*>("c");
        SendMessageA(list, LVM_INSERTCOLUMNA, c, reinterpret_cast<LPARAM>(&column));
    }
    int i = 0;
    for (const UpdateEntry* e = head; e != nullptr; e = e->next, ++i) {
        char number[16];
        std::snprintf(number, sizeof(number), "%d", i + 1);
        const std::string path = "./" + e->folder + " " + e->fileName;
        char bytes[16];
        std::snprintf(bytes, sizeof(bytes), "%d", e->localSize);
        const char* texts[] = {number, path.c_str(), e->localTime, bytes, EntryMark(e->state)};
        LVITEMA item = {};
        item.mask = LVIF_TEXT;
        item.iItem = i;
        item.pszText = const_cast<char*>(texts[0]);
        SendMessageA(list, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item));
        for (int c = 1; c < 5; ++c) {
            item.iSubItem = c;
            item.pszText = const_cast<char*>(texts[c]);
            SendMessageA(list, LVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&item));
        }
    }
    UpdateWindow(frame);
    const double time = TimeRepaints(list);
    DestroyWindow(frame);
    return time;
}

} // namespace

int main() {
    char temp[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, temp);
    char name[64];
    std::snprintf(name, sizeof(name), "tovarind-ui-bench-%lu\\", GetCurrentProcessId());
    const std::string folder = std::string(temp) + name;
    CreateDirectoryA(folder.c_str(), nullptr);
    CreateDirectoryA((folder + "sub").c_str(), nullptr);

    std::string ini =
        "[Archive]\r\nTitle=bench\r\nURL=http://127.0.0.1:9/a.zip\r\n[UpdateFiles]\r\n";
    for (int n = 1; n <= kEntries; ++n) {
        char line[64];
        std::snprintf(line, sizeof(line), "%s=File%04d.dat%s\r\n", EntryKeyName(n).c_str(), n,
                      n % 2 ? ",sub\\" : "");
        ini += line;
    }
    for (int n = 1; n <= 20; ++n) {
        char file[MAX_PATH];
        std::snprintf(file, sizeof(file), "%s%sFile%04d.dat", folder.c_str(), n % 2 ? "sub\\" : "",
                      n);
        const ScopedFile h(CreateFileA(file, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        DWORD written = 0;
        WriteFile(h.get(), file, 100, &written, nullptr);
    }
    const std::string settings = folder + "Tovarind.ini";
    {
        const ScopedFile h(
            CreateFileA(settings.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        DWORD written = 0;
        WriteFile(h.get(), ini.data(), static_cast<DWORD>(ini.size()), &written, nullptr);
    }

    BenchApp app(folder);
    app.SetProfileName(settings);
    app.LoadSettings();
    INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&controls);

    std::vector<double> mainUp, bareUp, ownerPaint, plainPaint;
    int rows = 0;
    for (int run = 0; run < kRuns; ++run) {
        double start = Now();
        CDialog bare(IDD_MAIN_DIALOG);
        AtFirstIdle([&] {
            bareUp.push_back(Now() - start);
            bare.EndDialog(IDCANCEL);
        });
        bare.DoModal();

        start = Now();
        MainDialog dialog;
        app.m_pMainWnd = &dialog;
        AtFirstIdle([&] {
            mainUp.push_back(Now() - start);
            rows = dialog.m_listUpdate.GetItemCount();
            ownerPaint.push_back(TimeRepaints(dialog.m_listUpdate.m_hWnd));
            RECT size;
            dialog.m_listUpdate.GetWindowRect(&size);
            plainPaint.push_back(TimePlainList(size, dialog.m_listUpdate.head));
            dialog.EndDialog(IDCANCEL);
        });
        dialog.DoModal();
        app.m_pMainWnd = nullptr;
    }

    std::printf("ui bench: %d listed files (%d rows), median of %d runs\n", kEntries, rows, kRuns);
    std::printf("  main dialog up (init + 1000 entries): %8.1f ms\n", Median(mainUp) * 1e3);
    std::printf("  bare dialog template up (peer):       %8.1f ms   ratio %.2f\n",
                Median(bareUp) * 1e3, Median(mainUp) / Median(bareUp));
    std::printf("  owner-drawn list repaint:             %8.2f ms\n", Median(ownerPaint) * 1e3);
    std::printf("  plain report list repaint (peer):     %8.2f ms   ratio %.2f\n",
                Median(plainPaint) * 1e3, Median(ownerPaint) / Median(plainPaint));

    for (int n = 1; n <= 20; ++n) {
        char file[MAX_PATH];
        std::snprintf(file, sizeof(file), "%s%sFile%04d.dat", folder.c_str(), n % 2 ? "sub\\" : "",
                      n);
        DeleteFileA(file);
    }
    DeleteFileA(settings.c_str());
    RemoveDirectoryA((folder + "UpdateArchive").c_str());
    RemoveDirectoryA((folder + "sub").c_str());
    RemoveDirectoryA(folder.c_str());
    return 0;
}
