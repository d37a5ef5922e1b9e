#include "tests/win/engine/EngineFixture.h"

#include <windows.h>

namespace {

unsigned long Crc32(const std::string& bytes) {
    unsigned long crc = 0xFFFFFFFFUL;
    for (unsigned char byte : bytes) {
        crc ^= byte;
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xEDB88320UL & (0UL - (crc & 1UL)));
    }
    return crc ^ 0xFFFFFFFFUL;
}

void Put16(std::string& out, unsigned value) {
    out += static_cast<char>(value & 0xFF);
    out += static_cast<char>((value >> 8) & 0xFF);
}

void Put32(std::string& out, unsigned long value) {
    Put16(out, static_cast<unsigned>(value & 0xFFFF));
    Put16(out, static_cast<unsigned>((value >> 16) & 0xFFFF));
}

} // namespace

ZipBuilder& ZipBuilder::Add(const std::string& name, const std::string& bytes, LocalTime t) {
    Member m;
    m.name = name;
    m.bytes = bytes;
    m.time = static_cast<unsigned short>((t.hour << 11) | (t.minute << 5) | (t.second / 2));
    m.date = static_cast<unsigned short>(((t.year - 1980) << 9) | (t.month << 5) | t.day);
    m.crc = Crc32(bytes);
    m.offset = data_.size();
    Put32(data_, 0x04034b50UL);
    Put16(data_, 20);
    Put16(data_, 0); // flags
    Put16(data_, 0); // stored
    Put16(data_, m.time);
    Put16(data_, m.date);
    Put32(data_, m.crc);
    Put32(data_, bytes.size());
    Put32(data_, bytes.size());
    Put16(data_, static_cast<unsigned>(name.size()));
    Put16(data_, 0);
    data_ += name;
    data_ += bytes;
    members_.push_back(m);
    return *this;
}

std::string ZipBuilder::Bytes() const {
    std::string out = data_;
    const std::size_t directory = out.size();
    for (const Member& m : members_) {
        Put32(out, 0x02014b50UL);
        Put16(out, 20); // made by
        Put16(out, 20); // needed
        Put16(out, 0);
        Put16(out, 0);
        Put16(out, m.time);
        Put16(out, m.date);
        Put32(out, m.crc);
        Put32(out, m.bytes.size());
        Put32(out, m.bytes.size());
        Put16(out, static_cast<unsigned>(m.name.size()));
        Put16(out, 0); // extra
        Put16(out, 0); // comment
        Put16(out, 0); // disk
        Put16(out, 0); // internal attributes
        Put32(out, 0); // external attributes
        Put32(out, m.offset);
        out += m.name;
    }
    const std::size_t size = out.size() - directory;
    Put32(out, 0x06054b50UL);
    Put16(out, 0);
    Put16(out, 0);
    Put16(out, static_cast<unsigned>(members_.size()));
    Put16(out, static_cast<unsigned>(members_.size()));
    Put32(out, size);
    Put32(out, directory);
    Put16(out, 0);
    return out;
}

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

void EngineTest::Configure(const std::string& url, const std::string& program,
                           const std::string& document) {
    app.WriteSettings("[Archive]\r\nTitle=Test\r\nURL=" + url +
                      "\r\n[AutoRun]\r\nProgram=" + program + "\r\nUpdateDoc=" + document + "\r\n");
    ASSERT_TRUE(app.LoadSettings());
    ASSERT_TRUE(FolderExists(tempFolder));
}

void EngineTest::Install(const std::string& relative, const std::string& bytes,
                         ZipBuilder::LocalTime t) {
    WriteFileBytes(programFolder + relative, bytes);
    SetLocalWriteTime(programFolder + relative, t.year, t.month, t.day, t.hour, t.minute, t.second);
}

std::vector<std::string> EngineTest::MessageTexts() const {
    std::vector<std::string> texts;
    for (const auto& message : app.messages)
        texts.push_back(message.text);
    return texts;
}

std::string BinaryFolder() {
    char path[MAX_PATH + 1] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder = path;
    folder.erase(folder.rfind('\\') + 1);
    return folder;
}

bool HaveArchiveLibrary() {
    return FileExists(BinaryFolder() + "tar32.dll");
}

PreloadedFakeTar::PreloadedFakeTar(const std::string& kind)
    : module_(LoadLibraryA((BinaryFolder() + "..\\testdll\\" + kind + "\\tar32.dll").c_str())) {}

PreloadedFakeTar::~PreloadedFakeTar() {
    if (module_ != nullptr)
        FreeLibrary(module_);
}
