// The dialog templates, read back from the compiled resources field by field.
#include <windows.h>

#include <commctrl.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "res/resource.h"
#include "tests/support/SystemTexts.h"

namespace {

struct Control {
    DWORD style;
    DWORD exStyle;
    int x, y, cx, cy;
    int id;
    std::string className;
    std::string title;
};

struct Template {
    bool extended = false;
    DWORD style = 0, exStyle = 0;
    int x = 0, y = 0, cx = 0, cy = 0;
    std::string menu, className, caption;
    int pointSize = 0, weight = 0, italic = 0, charSet = 0;
    std::string face;
    std::vector<Control> controls;
};

class Reader {
  public:
    explicit Reader(const BYTE* data) : base_(data), p_(data) {}
    WORD Word() {
        WORD w = *reinterpret_cast<const WORD*>(p_);
        p_ += 2;
        return w;
    }
    DWORD Dword() {
        DWORD d = *reinterpret_cast<const DWORD*>(p_);
        p_ += 4;
        return d;
    }
    BYTE Byte() { return *p_++; }
    short Short() { return static_cast<short>(Word()); }
    // A name or an ordinal ("#n"), in code page 932.
    std::string NameOrOrdinal() {
        WORD first = Word();
        if (first == 0xFFFF)
            return "#" + std::to_string(Word());
        if (first == 0)
            return "";
        p_ -= 2;
        return String();
    }
    std::string String() {
        const auto* text = reinterpret_cast<const wchar_t*>(p_);
        std::size_t length = wcslen(text);
        p_ += (length + 1) * 2;
        char out[512] = {};
        WideCharToMultiByte(932, 0, text, static_cast<int>(length), out, sizeof(out) - 1, nullptr,
                            nullptr);
        return out;
    }
    void AlignDword() {
        while ((p_ - base_) % 4 != 0)
            ++p_;
    }

  private:
    const BYTE* base_;
    const BYTE* p_;
};

std::string ClassName(const std::string& name) {
    if (name == "#128")
        return "Button";
    if (name == "#130")
        return "Static";
    return name;
}

Template LoadTemplate(int id) {
    HRSRC found = FindResourceA(nullptr, MAKEINTRESOURCEA(id), MAKEINTRESOURCEA(5));
    EXPECT_NE(nullptr, found);
    Template t;
    if (found == nullptr)
        return t;
    Reader r(static_cast<const BYTE*>(LockResource(LoadResource(nullptr, found))));
    WORD version = r.Word(), signature = r.Word();
    t.extended = version == 1 && signature == 0xFFFF;
    if (!t.extended) {
        r = Reader(static_cast<const BYTE*>(LockResource(LoadResource(nullptr, found))));
        t.style = r.Dword();
        t.exStyle = r.Dword();
    } else {
        r.Dword(); // help ID
        t.exStyle = r.Dword();
        t.style = r.Dword();
    }
    int count = r.Word();
    t.x = r.Short();
    t.y = r.Short();
    t.cx = r.Short();
    t.cy = r.Short();
    t.menu = r.NameOrOrdinal();
    t.className = r.NameOrOrdinal();
    t.caption = r.String();
    if (t.style & DS_SETFONT) {
        t.pointSize = r.Word();
        if (t.extended) {
            t.weight = r.Word();
            t.italic = r.Byte();
            t.charSet = r.Byte();
        }
        t.face = r.String();
    }
    for (int i = 0; i < count; ++i) {
        r.AlignDword();
        Control c = {};
        if (t.extended) {
            r.Dword(); // help ID
            c.exStyle = r.Dword();
            c.style = r.Dword();
        } else {
            c.style = r.Dword();
            c.exStyle = r.Dword();
        }
        c.x = r.Short();
        c.y = r.Short();
        c.cx = r.Short();
        c.cy = r.Short();
        c.id = t.extended ? static_cast<int>(r.Dword()) : static_cast<short>(r.Word());
        c.className = ClassName(r.NameOrOrdinal());
        c.title = r.NameOrOrdinal();
        r.Word(); // creation data
        t.controls.push_back(c);
    }
    return t;
}

void ExpectControls(const Template& t, const std::vector<Control>& expected) {
    ASSERT_EQ(expected.size(), t.controls.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const Control& want = expected[i];
        const Control& got = t.controls[i];
        SCOPED_TRACE(want.title);
        EXPECT_EQ(want.id, got.id);
        // Class names are not case-sensitive; the resource compiler writes
        // them in capitals.
        EXPECT_EQ(0, lstrcmpiA(want.className.c_str(), got.className.c_str())) << got.className;
        EXPECT_EQ(want.title, got.title);
        EXPECT_EQ(want.style | WS_CHILD | WS_VISIBLE, got.style);
        EXPECT_EQ(0u, got.exStyle);
        EXPECT_EQ(want.x, got.x);
        EXPECT_EQ(want.y, got.y);
        EXPECT_EQ(want.cx, got.cx);
        EXPECT_EQ(want.cy, got.cy);
    }
}

TEST(DialogTemplates, MainDialog) {
    Template t = LoadTemplate(IDD_MAIN_DIALOG);
    EXPECT_TRUE(t.extended);
    EXPECT_EQ(static_cast<DWORD>(WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME |
                                 DS_SETFONT),
              t.style);
    EXPECT_EQ(static_cast<DWORD>(WS_EX_APPWINDOW), t.exStyle);
    EXPECT_EQ(0, t.x);
    EXPECT_EQ(0, t.y);
    EXPECT_EQ(279, t.cx);
    EXPECT_EQ(208, t.cy);
    EXPECT_EQ("", t.menu);
    EXPECT_EQ("", t.className);
    EXPECT_EQ(texts::kMainCaption, t.caption);
    EXPECT_EQ(9, t.pointSize);
    EXPECT_EQ(0, t.weight);
    EXPECT_EQ(0, t.italic);
    EXPECT_EQ(1, t.charSet);
    EXPECT_EQ(texts::kDialogFont, t.face);
    const DWORD button = WS_TABSTOP | BS_PUSHBUTTON | BS_FLAT;
    ExpectControls(t, {
                          {button, 0, 7, 7, 95, 26, IDOK, "Button", texts::kCheckButton},
                          {button, 0, 104, 7, 50, 26, IDC_UPDATE, "Button", texts::kUpdateButton},
                          {button, 0, 222, 7, 50, 26, IDCANCEL, "Button", texts::kExitButton},
                          {WS_BORDER | LVS_REPORT | LVS_SINGLESEL | LVS_NOLABELWRAP |
                               LVS_OWNERDRAWFIXED | LVS_NOSORTHEADER,
                           0, 7, 47, 265, 153, IDC_UPDATE_LIST, "SysListView32", "List2"},
                          {WS_GROUP | SS_LEFT | SS_NOPREFIX, 0, 7, 37, 265, 7, IDC_URL_TEXT,
                           "Static", "http://"},
                      });
}

TEST(DialogTemplates, AboutDialog) {
    Template t = LoadTemplate(IDD_ABOUTBOX);
    EXPECT_FALSE(t.extended);
    EXPECT_EQ(static_cast<DWORD>(WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT),
              t.style);
    EXPECT_EQ(0u, t.exStyle);
    EXPECT_EQ(235, t.cx);
    EXPECT_EQ(55, t.cy);
    EXPECT_EQ(texts::kAboutCaption, t.caption);
    EXPECT_EQ(9, t.pointSize);
    EXPECT_EQ(texts::kDialogFont, t.face);
    ExpectControls(
        t, {
               {SS_ICON, 0, 11, 17, 20, 20, -1, "Static", "#128"},
               {WS_GROUP | WS_TABSTOP | BS_DEFPUSHBUTTON, 0, 178, 7, 50, 14, IDOK, "Button", "OK"},
               {WS_GROUP | SS_LEFT | SS_NOPREFIX, 0, 40, 10, 119, 8, IDC_VERSION_TEXT, "Static",
                "Version"},
               {WS_GROUP | SS_LEFT, 0, 40, 25, 156, 8, IDC_LEGAL_TEXT, "Static", "Copyright"},
               {WS_GROUP | SS_LEFT | SS_NOTIFY, 0, 40, 36, 92, 8, IDC_WEB_LINK, "Static",
                "https://tovarind.org/"},
           });
}

TEST(Resources, IconStringAndManifest) {
    HICON big = LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_MAINFRAME));
    EXPECT_NE(nullptr, big);
    char text[128] = {};
    LoadStringA(GetModuleHandleA(nullptr), IDS_ABOUTBOX, text, sizeof(text));
    EXPECT_EQ(texts::kAboutMenuItem, text);
    HRSRC manifest = FindResourceA(nullptr, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));
    ASSERT_NE(nullptr, manifest);
    std::string xml(static_cast<const char*>(LockResource(LoadResource(nullptr, manifest))),
                    SizeofResource(nullptr, manifest));
    EXPECT_NE(std::string::npos, xml.find("level=\"asInvoker\""));
    EXPECT_EQ(std::string::npos, xml.find("Microsoft.Windows.Common-Controls"));
}

} // namespace
