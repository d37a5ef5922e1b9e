#include "tests/win/engine/EngineFixture.h"

#include <windows.h>

EntryChain::EntryChain(UpdaterApp& app,
                       std::initializer_list<std::pair<std::string, std::string>> files) {
    UpdateEntry** tail = &head;
    for (const auto& file : files) {
        auto* entry = new UpdateEntry;
        entry->fileName = file.first;
        entry->folder = file.second;
        app.GetFileStamp(false, entry->folder + entry->fileName, entry->localTime, kTimeTextSize,
                         &entry->localSize);
        *tail = entry;
        tail = &entry->next;
    }
}

UpdateEntry& EntryChain::operator[](std::size_t n) {
    UpdateEntry* entry = head;
    while (n-- > 0)
        entry = entry->next;
    return *entry;
}

std::vector<int> EntryChain::States() const {
    std::vector<int> states;
    for (UpdateEntry* entry = head; entry != nullptr; entry = entry->next)
        states.push_back(entry->state);
    return states;
}

std::vector<std::string> EntryChain::ArchiveStamps() const {
    std::vector<std::string> stamps;
    for (UpdateEntry* entry = head; entry != nullptr; entry = entry->next)
        stamps.push_back(entry->archiveTime + (" " + std::to_string(entry->archiveSize)));
    return stamps;
}

void EngineTest::Configure(const std::string& url, const std::string& program,
                           const std::string& document) {
    app.WriteSettings("[Archive]\r\nTitle=Test\r\nURL=" + url +
                      "\r\n[AutoRun]\r\nProgram=" + program + "\r\nUpdateDoc=" + document + "\r\n");
    ASSERT_TRUE(app.LoadSettings());
    ASSERT_TRUE(FolderExists(tempFolder));
}

void EngineTest::SetWriteTime(const std::string& path, ZipBuilder::LocalTime t) {
    SetLocalWriteTime(path, t.year, t.month, t.day, t.hour, t.minute, t.second);
}

void EngineTest::Install(const std::string& relative, const std::string& bytes,
                         ZipBuilder::LocalTime time) {
    WriteFileBytes(programFolder + relative, bytes);
    SetWriteTime(programFolder + relative, time);
}

DownloadOutcome EngineTest::Download(const std::string& url, const std::string& path) {
    app.messages.clear();
    causes.lines.clear();
    waitCursor.reset();
    return DownloadArchive(url, path, waitCursor);
}

CauseLines::CauseLines()
    : before_(SetCauseSink([this](const std::string& line) { lines.push_back(line); })) {}

CauseLines::~CauseLines() {
    SetCauseSink(before_);
}

std::string CauseLines::All() const {
    std::string all;
    for (const std::string& line : lines)
        all += line + "\n";
    return all;
}

void ExpectMessages(const TestApp& app, const std::vector<std::string>& texts) {
    EXPECT_EQ(app.MessageTexts(), texts);
    for (const TestApp::Message& message : app.messages)
        EXPECT_EQ(message.style, UINT(MB_OK | MB_ICONEXCLAMATION)) << message.text;
}

bool PassesInACopy(const std::string& folder, const std::string& test) {
    MakeFolder(folder);
    const std::string copy = folder + "engine_tests.exe";
    if (!CopyFileA(ModuleFileName(nullptr).c_str(), copy.c_str(), FALSE))
        return false;
    DWORD code = 1;
    if (!RunToEnd("\"" + copy + "\" --gtest_also_run_disabled_tests --gtest_filter=" + test, folder,
                  60000, &code))
        return false;
    return code == 0 && FileExists(folder + "ran");
}

bool HaveArchiveLibrary() {
    return FileExists(BinaryFolder() + "tar32.dll");
}

PreloadedFakeTar::PreloadedFakeTar(const std::string& kind)
    : module_(LoadLibraryA((BinaryFolder() + "..\\testdll\\" + kind + "\\tar32.dll").c_str())) {}
