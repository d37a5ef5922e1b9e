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
// Output: one line per member (name, for t and with v; "t v" also gives size
// and time) and, on failure, one line telling why. Always zero-terminated
// within outputSize and never written beyond it; output may be null and
// outputSize 0. The text is Shift-JIS.
//
// Formats are recognised by content, never by the file name: ZIP (stored,
// deflate, data descriptors, ZIP64, UTF-8 names), tar (ustar, GNU long names,
// pax path/mtime/size) and gzip-compressed tar. Names not marked as UTF-8 are
// taken as Shift-JIS; UTF-8 names are converted to Shift-JIS and refused as
// unsafe when they cannot be.
//
// Every written file gets the member's modification time. A file is written
// under a temporary name in its destination folder and renamed over its real
// name only once its data has been checked (size and, for ZIP, CRC-32); a
// member that fails leaves nothing behind under its real name. Links are never
// created (link members are skipped), nothing is written outside the output
// folder, and memory does not grow with the size of the archive or its members.
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
#define TAR32_ERROR_UNSAFE_NAME 5  // a member name that could escape or misuse the output folder
#define TAR32_ERROR_WRITE 6        // a file or folder could not be created or written
#define TAR32_ERROR_UNSUPPORTED 7  // encryption, an unknown compression method, sparse files...
#define TAR32_ERROR_INTERNAL 8     // out of memory or another failure of the library itself

#if defined(_WIN32) && defined(_WINDEF_)
typedef int(WINAPI* TarProc)(HWND hwnd, LPCSTR commandLine, LPSTR output, DWORD outputSize);
#endif
