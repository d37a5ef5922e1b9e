// The dialog templates, read back from the compiled resources and compared
// whole: the dialog's header and every control.
#include <windows.h>

#include <commctrl.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "res/resource.h"
#include "tests/support/SystemTexts.h"

namespace {

using Place = std::array<int, 4>; // x, y, cx, cy
// Style, extended style, place, ID, class name (in lower case: class names
// are not case-sensitive, and the resource compiler writes capitals), title.
using Control = std::tuple<DWORD, DWORD, Place, int, std::string, std::string>;
// Extended or not, style, extended style, place, menu, class, caption, and
// the font: point size, weight, italic, character set, face.
using Header = std::tuple<bool, DWORD, DWORD, Place, std::string, std::string, std::string, int,
                          int, int, int, std::string>;
using Template = std::pair<Header, std::vector<Control>>;

class Reader {
  public:
    explicit Reader(const BYTE* data) : base_(data), p_(data) {}
    template <typename T> T Read() {
        T value;
        std::memcpy(&value, p_, sizeof(value));
        p_ += sizeof(value);
        return value;
    }
    Place ReadPlace() {
        Place place;
        for (int& value : place)
            value = Read<short>();
        return place;
    }
    // A name or an ordinal ("#n"), in code page 932.
    std::string NameOrOrdinal() {
        const WORD first = Read<WORD>();
        if (first == 0xFFFF)
            return "#" + std::to_string(Read<WORD>());
        if (first == 0)
            return "";
        p_ -= 2;
        return String();
    }
    std::string String() {
        const auto* text = reinterpret_cast<const wchar_t*>(p_);
        const std::size_t length = wcslen(text);
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

Template LoadTemplate(int id) {
    HRSRC found = FindResourceA(nullptr, MAKEINTRESOURCEA(id), RT_DIALOG);
    EXPECT_NE(nullptr, found);
    if (found == nullptr)
        return {};
    const auto* data = static_cast<const BYTE*>(LockResource(LoadResource(nullptr, found)));
    Reader r(data);
    const bool extended = r.Read<DWORD>() == 0xFFFF0001; // version 1, signature 0xFFFF
    if (!extended)
        r = Reader(data);
    // Style and extended style, of the dialog and of each control; an
    // extended template has a help ID and the extended style first.
    const auto styles = [&]() -> std::pair<DWORD, DWORD> {
        if (!extended) {
            const DWORD style = r.Read<DWORD>();
            return {style, r.Read<DWORD>()};
        }
        r.Read<DWORD>();
        const DWORD exStyle = r.Read<DWORD>();
        return {r.Read<DWORD>(), exStyle};
    };
    const auto [style, exStyle] = styles();
    const int count = r.Read<WORD>();
    const Place place = r.ReadPlace();
    const std::string menu = r.NameOrOrdinal(), className = r.NameOrOrdinal(), caption = r.String();
    int pointSize = 0, weight = 0, italic = 0, charSet = 0;
    std::string face;
    if (style & DS_SETFONT) {
        pointSize = r.Read<WORD>();
        if (extended) {
            weight = r.Read<WORD>();
            italic = r.Read<BYTE>();
            charSet = r.Read<BYTE>();
        }
        face = r.String();
    }
    Template t = {{extended, style, exStyle, place, menu, className, caption, pointSize, weight,
                   italic, charSet, face},
                  {}};
    for (int i = 0; i < count; ++i) {
        r.AlignDword();
        const auto [controlStyle, controlExStyle] = styles();
        const Place controlPlace = r.ReadPlace();
        const int controlId = extended ? static_cast<int>(r.Read<DWORD>()) : r.Read<short>();
        std::string controlClass = r.NameOrOrdinal();
        controlClass = controlClass == "#128"   ? "button"
                       : controlClass == "#130" ? "static"
                                                : controlClass;
        std::transform(controlClass.begin(), controlClass.end(), controlClass.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        const std::string title = r.NameOrOrdinal();
        r.Read<WORD>(); // creation data
        t.second.emplace_back(controlStyle, controlExStyle, controlPlace, controlId, controlClass,
                              title);
    }
    return t;
}

// A visible child without extended styles, as every control of ours is.
Control Child(DWORD style, Place place, int id, const char* className, const std::string& title) {
    return {style | WS_CHILD | WS_VISIBLE, 0, place, id, className, title};
}

TEST(DialogTemplates, MainDialog) {
    const DWORD button = WS_TABSTOP | BS_PUSHBUTTON | BS_FLAT;
    const Template expected = {
        {true, WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT,
         WS_EX_APPWINDOW, Place{0, 0, 279, 208}, "", "", texts::kMainCaption, 9, 0, 0, 1,
         texts::kDialogFont},
        {Child(button, {7, 7, 95, 26}, IDOK, "button", texts::kCheckButton),
         Child(button, {104, 7, 50, 26}, IDC_UPDATE, "button", texts::kUpdateButton),
         Child(button, {222, 7, 50, 26}, IDCANCEL, "button", texts::kExitButton),
         Child(WS_BORDER | LVS_REPORT | LVS_SINGLESEL | LVS_NOLABELWRAP | LVS_OWNERDRAWFIXED |
                   LVS_NOSORTHEADER,
               {7, 47, 265, 153}, IDC_UPDATE_LIST, "syslistview32", "List2"),
         Child(WS_GROUP | SS_LEFT | SS_NOPREFIX, {7, 37, 265, 7}, IDC_URL_TEXT, "static",
               "http://")}};
    EXPECT_EQ(expected, LoadTemplate(IDD_MAIN_DIALOG));
}

TEST(DialogTemplates, AboutDialog) {
    const Template expected = {
        {false, WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT, 0,
         Place{0, 0, 235, 55}, "", "", texts::kAboutCaption, 9, 0, 0, 0, texts::kDialogFont},
        {Child(SS_ICON, {11, 17, 20, 20}, -1, "static", "#128"),
         Child(WS_GROUP | WS_TABSTOP | BS_DEFPUSHBUTTON, {178, 7, 50, 14}, IDOK, "button", "OK"),
         Child(WS_GROUP | SS_LEFT | SS_NOPREFIX, {40, 10, 119, 8}, IDC_VERSION_TEXT, "static",
               "Version"),
         Child(WS_GROUP | SS_LEFT, {40, 25, 156, 8}, IDC_LEGAL_TEXT, "static", "Copyright"),
         Child(WS_GROUP | SS_LEFT | SS_NOTIFY, {40, 36, 92, 8}, IDC_WEB_LINK, "static",
               "https://tovarind.org/")}};
    EXPECT_EQ(expected, LoadTemplate(IDD_ABOUTBOX));
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
