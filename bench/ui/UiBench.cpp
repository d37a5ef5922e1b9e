// Times, in one process under Wine, the main dialog from construction to its
// first idle moment with 1,000 and with 30 listed files, against the bare
// dialog template (no initialisation, no list); and repainting the owner-
// drawn list against a plain report list view holding the same rows as text.
//
//   ui_bench.exe FOLDER_1000 FOLDER_30
//
// Each folder holds a settings file and every file it lists, as a user has
// them; bench/ui/run makes them and dates the settings file back, since Wine
// re-reads a settings file written in the last two seconds on every call.
//
// The first main dialog of the process is reported on its own (cold), the
// others as medians, with the fastest runs beside them. Where the start-up
// goes (all probes here, none in the program): "insert rows" and "first
// paint" are timed on the list's own messages, through a window procedure
// placed beneath the program's when the list is created; reading the keys
// and stamping the files lie between the list's last column and its filling,
// and are split in the proportion the same calls take when the bench makes
// them itself right after each dialog.
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

const int kRuns = 9;
const int kRepaints = 20;

class BenchApp : public UpdaterApp {
  public:
    BenchApp() { InitModuleNames(nullptr); }
    int DoMessageBox(const char*, UINT, UINT) override { return IDOK; }

    // Makes folder the program folder and loads its settings file.
    bool Use(const std::string& folder) {
        folder_ = folder;
        SetProfileName(folder + "Tovarind.ini");
        return LoadSettings();
    }

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

// --- probes on the list's messages ---

// Moments in one dialog's start-up, in seconds (0: not yet).
struct ListMoments {
    double columnsDone = 0; // the last column inserted; the entries are loaded next
    double fillStart = 0;   // the first message of the filling
    double fillEnd = 0;     // the first other message after it
    double paintStart = 0;  // the first WM_PAINT
    double paintEnd = 0;
};

ListMoments g_moments;
int g_listDepth = 0; // list messages being handled, one inside the other
WNDPROC g_listClassProc = nullptr;
HHOOK g_creationHook = nullptr;

// The program fills the list with list-view messages, with redrawing off.
bool IsFilling(UINT message) {
    return message == WM_SETREDRAW || (message >= LVM_FIRST && message < LVM_FIRST + 0x100);
}

// Reads the clock a handful of times per dialog, not once per row.
LRESULT CALLBACK ProbeListProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    ListMoments& m = g_moments;
    if (g_listDepth == 0 && m.columnsDone != 0 && m.fillEnd == 0 && message != LVM_INSERTCOLUMNA) {
        if (!IsFilling(message)) {
            if (m.fillStart != 0)
                m.fillEnd = Now();
        } else if (m.fillStart == 0) {
            m.fillStart = Now();
        }
    }
    const bool firstPaint = message == WM_PAINT && m.paintStart == 0;
    if (firstPaint)
        m.paintStart = Now();
    ++g_listDepth;
    const LRESULT result = CallWindowProcA(g_listClassProc, hwnd, message, wParam, lParam);
    --g_listDepth;
    if (message == LVM_INSERTCOLUMNA)
        m.columnsDone = Now();
    if (firstPaint)
        m.paintEnd = Now();
    return result;
}

// Puts the probe beneath the list as the dialog creates it, before the
// program subclasses it.
LRESULT CALLBACK OnCreateWindow(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_CREATEWND) {
        HWND hwnd = reinterpret_cast<HWND>(wParam);
        char name[32] = {};
        GetClassNameA(hwnd, name, sizeof(name));
        if (lstrcmpiA(name, WC_LISTVIEWA) == 0)
            g_listClassProc = reinterpret_cast<WNDPROC>(
                SetWindowLongPtrA(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&ProbeListProc)));
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

// Reads the keys and stamps the files as the list does, timing each kind.
void TimeLoading(UpdaterApp& app, double* read, double* stamp) {
    *read = *stamp = 0;
    UpdateEntry* head = LoadEntryChain(
        [&](const std::string& key) {
            const double start = Now();
            std::string value = app.ReadProfileValue("UpdateFiles", key.c_str());
            *read += Now() - start;
            return value;
        },
        [&](UpdateEntry& entry) {
            const double start = Now();
            app.GetFileStamp(false, entry.folder + entry.fileName, entry.localTime, kTimeTextSize,
                             &entry.localSize);
            *stamp += Now() - start;
        });
    FreeEntryChain(head);
}

struct StartUp {
    double total = 0, read = 0, stamp = 0, insert = 0, paint = 0, other = 0;
    int rows = 0;
};

// --- repaints ---

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

// --- the runs ---

// Both dialogs carry the probes, so that the peer bears their cost too.
void WatchListCreation() {
    g_moments = ListMoments();
    g_listDepth = 0;
    g_creationHook = SetWindowsHookExA(WH_CBT, &OnCreateWindow, nullptr, GetCurrentThreadId());
}
// At the first idle moment; a list made later (the plain peer) gets no probe.
void StopWatching() {
    UnhookWindowsHookEx(g_creationHook);
    g_creationHook = nullptr;
}

double BareDialogUp() {
    double up = 0;
    WatchListCreation();
    const double start = Now();
    CDialog bare(IDD_MAIN_DIALOG);
    AtFirstIdle([&] {
        up = Now() - start;
        StopWatching();
        bare.EndDialog(IDCANCEL);
    });
    bare.DoModal();
    return up;
}

// One main dialog from construction to its first idle moment; at that
// moment, atIdle may measure more.
StartUp MainDialogUp(BenchApp& app, const std::function<void(MainDialog&)>& atIdle = nullptr) {
    StartUp up;
    WatchListCreation();
    const double start = Now();
    double idle = 0;
    MainDialog dialog;
    app.m_pMainWnd = &dialog;
    AtFirstIdle([&] {
        idle = Now();
        StopWatching();
        up.rows = dialog.m_listUpdate.GetItemCount();
        if (atIdle)
            atIdle(dialog);
        dialog.EndDialog(IDCANCEL);
    });
    dialog.DoModal();
    app.m_pMainWnd = nullptr;

    const ListMoments& m = g_moments;
    up.total = idle - start;
    up.insert = m.fillEnd - m.fillStart;
    up.paint = m.paintEnd - m.paintStart;
    double read = 0, stamp = 0;
    TimeLoading(app, &read, &stamp);
    const double loading = m.fillStart - m.columnsDone;
    up.read = read + stamp > 0 ? loading * read / (read + stamp) : 0;
    up.stamp = loading - up.read;
    up.other = up.total - loading - up.insert - up.paint;
    return up;
}

// The run with the median total, so that its phases add up to it.
StartUp MedianStartUp(std::vector<StartUp> runs) {
    std::sort(runs.begin(), runs.end(),
              [](const StartUp& a, const StartUp& b) { return a.total < b.total; });
    return runs[runs.size() / 2];
}

void PrintPhases(const char* label, const StartUp& up) {
    std::printf("    %-22s read keys %7.1f  stamp %6.1f  insert rows %6.1f  first paint %6.1f"
                "  other %6.1f  = %7.1f ms\n",
                label, up.read * 1e3, up.stamp * 1e3, up.insert * 1e3, up.paint * 1e3,
                up.other * 1e3, up.total * 1e3);
}

std::string Folder(const char* argument) {
    std::string folder = argument;
    if (!folder.empty() && folder.back() != '\\')
        folder += '\\';
    return folder;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: ui_bench FOLDER_1000 FOLDER_30 (see bench/ui/run)\n");
        return 2;
    }
    const std::string many = Folder(argv[1]), few = Folder(argv[2]);
    BenchApp app;
    INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&controls);

    if (!app.Use(many))
        return 1;
    const StartUp cold = MainDialogUp(app);

    std::vector<double> bareUp, ownerPaint, plainPaint;
    std::vector<StartUp> manyUp, fewUp;
    for (int run = 0; run < kRuns; ++run) {
        bareUp.push_back(BareDialogUp());
        app.Use(many);
        manyUp.push_back(MainDialogUp(app, [&](MainDialog& dialog) {
            ownerPaint.push_back(TimeRepaints(dialog.m_listUpdate.m_hWnd));
            RECT size;
            dialog.m_listUpdate.GetWindowRect(&size);
            plainPaint.push_back(TimePlainList(size, dialog.m_listUpdate.head));
        }));
        app.Use(few);
        fewUp.push_back(MainDialogUp(app));
    }
    const StartUp warm = MedianStartUp(manyUp), small = MedianStartUp(fewUp);
    const double bare = Median(bareUp);

    std::printf("ui bench: %d listed files (%d rows), all installed, median of %d runs\n",
                warm.rows, warm.rows, kRuns);
    std::printf("  main dialog up (init + %d entries): %8.1f ms\n", warm.rows, warm.total * 1e3);
    std::printf("  bare dialog template up (peer):       %8.1f ms   ratio %.2f\n", bare * 1e3,
                warm.total / bare);
    std::printf("  owner-drawn list repaint:             %8.2f ms\n", Median(ownerPaint) * 1e3);
    std::printf("  plain report list repaint (peer):     %8.2f ms   ratio %.2f\n",
                Median(plainPaint) * 1e3, Median(ownerPaint) / Median(plainPaint));
    std::printf("  main dialog up with %d entries:        %8.1f ms   %.2f x the bare template\n",
                small.rows, small.total * 1e3, small.total / bare);
    std::printf("  first main dialog of the process:     %8.1f ms   %.2f x (cold, %d entries)\n",
                cold.total * 1e3, cold.total / bare, cold.rows);
    // Other work on a shared machine only ever adds time: the fastest runs
    // come closest to the program's own cost.
    auto fastest = [](const std::vector<StartUp>& runs) {
        double best = runs.front().total;
        for (const StartUp& run : runs)
            best = std::min(best, run.total);
        return best;
    };
    const double bareBest = *std::min_element(bareUp.begin(), bareUp.end());
    const double ownerBest = *std::min_element(ownerPaint.begin(), ownerPaint.end());
    const double plainBest = *std::min_element(plainPaint.begin(), plainPaint.end());
    std::printf("  fastest of the %d runs: %d entries %.1f ms = %.2f x, %d entries %.1f ms = %.2f x"
                " the bare template's %.1f ms;\n    repaint %.2f ms = %.2f x the plain list's"
                " %.2f ms\n",
                kRuns, warm.rows, fastest(manyUp) * 1e3, fastest(manyUp) / bareBest, small.rows,
                fastest(fewUp) * 1e3, fastest(fewUp) / bareBest, bareBest * 1e3, ownerBest * 1e3,
                ownerBest / plainBest, plainBest * 1e3);
    std::printf("  where the start-up goes (the median run):\n");
    PrintPhases((std::to_string(cold.rows) + " files, cold").c_str(), cold);
    PrintPhases((std::to_string(warm.rows) + " files").c_str(), warm);
    PrintPhases((std::to_string(small.rows) + " files").c_str(), small);
    return 0;
}
