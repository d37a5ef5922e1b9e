#pragma once
// tar32.dll: unpacks ZIP, tar and gzip-compressed tar archives.
//
// The one entry point, exported undecorated:
//
//   int WINAPI Tar(HWND hwnd, LPCSTR commandLine, LPSTR output, DWORD outputSize);
//
// Include <windows.h> before this header to get the TarProc typedef; the
// return codes below need nothing and are plain constants.
//
// Command line (split at blanks, double quotes group, a backslash is an
// ordinary character):
//   --use-directory=0|1    0: every file lands directly in the output folder
//                          under its bare name and folder members are skipped;
//                          1 (default): stored folders are kept and created
//   --display-dialog=0|1   accepted; the library never shows a window
//   x | t, with v and f    a command word: x extract, t list only, v list
//                          while extracting, f the next argument is the archive
//   -o DIR                 output folder (default: the current folder); it is
//                          created when missing (one level)
// Anything else is a bad command line. hwnd is not used.
//
// Output: with t, one line per member (its name; with v, its size and name);
// with x and v, one line per member as it is extracted; on failure, a last
// line "error: ..." telling why. Lines end in CR LF; the text is Shift-JIS
// and is cut when the buffer is full. Always zero-terminated within
// outputSize and never written beyond it; output may be null and outputSize 0.
//
// Formats are recognised by content, never by the file name: ZIP (stored,
// deflate, data descriptors, ZIP64, UTF-8 names), tar (ustar, GNU long names,
// pax path/mtime/size; a pax size belongs to the next file, not to a GNU long
// name or another extended header in between; header checksums summed over
// unsigned or, as old tar programs did, signed bytes) and gzip-compressed
// tar. ZIP names are UTF-8 when the member says so (its UTF-8 flag, or an
// Info-ZIP Unicode path field whose CRC matches the name), pax paths are UTF-8
// unless hdrcharset=BINARY; all other names are taken as Shift-JIS. UTF-8
// names are converted to Shift-JIS and refused as unsafe when they cannot be.
//
// Times: the ZIP NTFS time field, else the extended timestamp (UTC), else the
// DOS date and time taken as local time; the tar or pax mtime (UTC). A time
// that a FILETIME cannot hold (before 1601, or past the year 30000) is
// ignored: the file is written with the time of writing.
//
// Every written file gets the member's modification time. A file is written
// under a temporary name (random, in its destination folder) and renamed over
// its real name only once its data has been checked (size and, for ZIP,
// CRC-32); a member that fails leaves nothing behind under its real name. A
// gzip-compressed tar is read through once, to its trailer (CRC-32 and
// length), before the first member is written: a damaged one writes nothing.
// An existing file of the same name is replaced, but never the archive being
// read: a member that would land on it (the same file, whatever its name,
// link or spelling) fails with TAR32_ERROR_UNSAFE_NAME. Links, devices and
// other special members are never created (they are skipped and listed as
// skipped). Nothing is written outside the output folder.
//
// Space: before a file is written, the free space of its volume must hold its
// declared size plus 4 KiB (its last cluster, its folder entry) and still
// leave 16 MiB free; all of a ZIP's files are weighed together before the
// first is written. Otherwise TAR32_ERROR_WRITE, with "not enough space" in the
// error line. No file ever gets more bytes than its member declares.
//
// Sizes the data cannot hold are corrupt: a deflated ZIP member declaring
// more than 1032 bytes for each compressed byte (deflate's limit), a tar
// member larger than the archive (1032 times it for a .tar.gz). So is
// anything but zero bytes after a tar archive's two end blocks.
//
// Names refused as unsafe: empty, ".", "..", holding ":", a control character
// or one of < > " | ? *, a Windows device name (CON, PRN, AUX, NUL, COM0-9,
// LPT0-9, CONIN$, CONOUT$, CLOCK$, with or without an extension), ending in a
// dot or blank, or broken Shift-JIS. With --use-directory=0 only the bare
// name (after the last "/" or "", a 0x5C trail byte being no separator) is
// checked and written; with --use-directory=1 every component is, and an
// absolute name or a ".." component is refused too. A leading "./" is dropped.
//
// Memory: fixed buffers (about 1 MB in all), whatever the size of the archive
// or its members; a pax header is read whole (up to 1 MB). A ZIP whose
// central directory is not in the order of the data needs 8 bytes per member
// more, and a sort of their starts (n log n), to prove that no members
// overlap; in the order of the data the proof is one pass and no memory.
//
// When a member fails, extraction stops there with the member's code; members
// extracted before it stay. A ZIP archive is checked whole before anything is
// written: the central directory (names, methods, encryption, sizes, overlaps),
// so a ZIP with an unsafe name, an unsupported member or an overlap writes
// nothing. A tar archive is read as a stream: its members are checked as they
// come.

#define TAR32_OK 0
#define TAR32_ERROR_COMMAND_LINE 1 // unknown option or command, missing argument
#define TAR32_ERROR_OPEN 2         // the archive cannot be opened or read
#define TAR32_ERROR_FORMAT 3       // not a ZIP, tar or gzip-compressed tar archive
#define TAR32_ERROR_CORRUPT 4      // corrupt or truncated data, CRC or size mismatch, overlaps
#define TAR32_ERROR_UNSAFE_NAME                                                                    \
    5                             // a member name that could escape or misuse the output folder
                                  // (or would overwrite the archive being read)
#define TAR32_ERROR_WRITE 6       // a file or folder could not be created or written, no space
#define TAR32_ERROR_UNSUPPORTED 7 // encryption, an unknown compression method, sparse files...
#define TAR32_ERROR_INTERNAL 8    // out of memory or another failure of the library itself

#if defined(_WIN32) && defined(_WINDEF_)
typedef int(WINAPI* TarProc)(HWND hwnd, LPCSTR commandLine, LPSTR output, DWORD outputSize);
#endif
