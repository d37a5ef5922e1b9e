#include "tar32/Core.h"

#include <algorithm>
#include <new>

#include "tar32/CommandLine.h"
#include "tar32/Extractor.h"

namespace tar32 {

void Fail(int code, const std::string& message) {
    throw Failure{code, message};
}

std::int64_t DaysFromCivil(std::int64_t year, unsigned month, unsigned day) {
    year -= month <= 2;
    const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    const unsigned yearOfEra = static_cast<unsigned>(year - era * 400);
    const unsigned dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + static_cast<std::int64_t>(dayOfEra) - 719468;
}

FileTime FromUnixSeconds(std::int64_t seconds, std::int64_t extraTicks) {
    // Beyond what a FILETIME can hold (1601 to about 30828): no time at all.
    constexpr std::int64_t kMin = -11644473600;
    constexpr std::int64_t kMax = 900000000000;
    FileTime time;
    if (seconds >= kMin && seconds <= kMax) {
        const std::int64_t ticks = kUnixEpochTicks + seconds * kTicksPerSecond + extraTicks;
        // A fraction can still reach before 1601; and a FILETIME of 0 tells
        // Windows to leave the time alone, so it is no time either.
        if (ticks > 0) {
            time.kind = FileTime::Utc;
            time.ticks = ticks;
        }
    }
    return time;
}

namespace {

enum class Format { Unknown, Zip, Tar, GzipTar };

Format Recognise(Source& source) {
    unsigned char head[1024] = {};
    const std::size_t n = source.ReadAt(0, head, sizeof head);
    if (n >= 4 && head[0] == 'P' && head[1] == 'K' &&
        ((head[2] == 3 && head[3] == 4) || (head[2] == 5 && head[3] == 6))) {
        return Format::Zip;
    }
    if (n >= 2 && head[0] == 0x1F && head[1] == 0x8B) {
        return Format::GzipTar;
    }
    if (n >= 512 && TarChecksumValid(head)) {
        return Format::Tar;
    }
    // An empty tar archive: nothing but its two zero blocks (and padding).
    if (n == 1024 && std::all_of(head, head + 1024, [](unsigned char c) { return c == 0; })) {
        return Format::Tar;
    }
    return Format::Unknown;
}

} // namespace

int Run(const char* commandLine, char* output, std::size_t outputSize, FileSystem& fs) {
    Listing listing(output, outputSize);
    try {
        if (commandLine == nullptr) {
            Fail(TAR32_ERROR_COMMAND_LINE, "no command line");
        }
        const Options options = ParseCommandLine(commandLine);
        std::unique_ptr<Source> source = fs.OpenRead(options.archive);
        if (!source) {
            Fail(TAR32_ERROR_OPEN, "cannot open the archive: " + options.archive);
        }
        Extractor extractor(fs, options, listing, *source);
        switch (Recognise(*source)) {
        case Format::Zip:
            ExtractZip(*source, extractor);
            break;
        case Format::Tar:
            ExtractTar(*source, extractor, false);
            break;
        case Format::GzipTar:
            ExtractTar(*source, extractor, true);
            break;
        case Format::Unknown:
            Fail(TAR32_ERROR_FORMAT, "not a ZIP, tar or tar.gz archive: " + options.archive);
        }
        return TAR32_OK;
    } catch (const Failure& failure) {
        listing.AddLine("error: " + failure.message);
        return failure.code;
    } catch (const std::bad_alloc&) {
        listing.AddLine("error: out of memory");
        return TAR32_ERROR_INTERNAL;
    } catch (...) {
        listing.AddLine("error: internal failure");
        return TAR32_ERROR_INTERNAL;
    }
}

} // namespace tar32
