// Stand-ins for the few Win32 user and shell calls the library makes: the
// ANSI/OEM code-page conversion used for text exchanged with database clients,
// a message box that reports to standard error, and ShellExecuteA for opening
// web and mail addresses through the desktop's opener.
#pragma once

#include <cstdint>
#include <functional>

namespace host {

// ---------------------------------------------------------------------------
// Code pages
//
// "ANSI" is Windows-1252 and "OEM" is code page 850, the pair a Western
// European Windows installation uses. Bytes 0..127 map to themselves. A
// character present in both pages maps to its counterpart, so ANSI -> OEM ->
// ANSI gives every such byte back unchanged. A character the target page
// lacks maps to a look-alike where one exists (typographic quotes to ASCII
// quotes, dashes to '-', box drawing to '+', '-', '|', '=', shades and blocks
// to '#', letters with a caron to the plain letter) and to '?' otherwise (for
// instance the euro sign and the five bytes cp1252 leaves undefined).
// ---------------------------------------------------------------------------

// Converts exactly `length` bytes from ANSI to OEM. `src == dst` converts in
// place; other overlapping ranges are handled too. Returns false only when a
// pointer is null and `length` is nonzero.
bool CharToOemBuffA(const char* src, char* dst, uint32_t length);

// Converts exactly `length` bytes from OEM to ANSI; otherwise as CharToOemBuffA.
bool OemToCharBuffA(const char* src, char* dst, uint32_t length);

// Unicode code point of an ANSI (Windows-1252) byte. The five bytes the page
// leaves undefined give U+0081, U+008D, U+008F, U+0090 and U+009D, as Windows does.
uint32_t AnsiByteToUnicode(uint8_t b);

// ANSI byte for a Unicode code point, with the best-fit rules above ('?' when
// nothing fits). Shared with the version-resource reader.
uint8_t UnicodeToAnsiByte(uint32_t codePoint);

// ---------------------------------------------------------------------------
// Message box
// ---------------------------------------------------------------------------

// Button sets (MB_TYPEMASK).
constexpr uint32_t MB_OK = 0x00000000;
constexpr uint32_t MB_OKCANCEL = 0x00000001;
constexpr uint32_t MB_ABORTRETRYIGNORE = 0x00000002;
constexpr uint32_t MB_YESNOCANCEL = 0x00000003;
constexpr uint32_t MB_YESNO = 0x00000004;
constexpr uint32_t MB_RETRYCANCEL = 0x00000005;
constexpr uint32_t MB_CANCELTRYCONTINUE = 0x00000006;
// Icons (MB_ICONMASK).
constexpr uint32_t MB_ICONHAND = 0x00000010;
constexpr uint32_t MB_ICONERROR = 0x00000010;
constexpr uint32_t MB_ICONSTOP = 0x00000010;
constexpr uint32_t MB_ICONQUESTION = 0x00000020;
constexpr uint32_t MB_ICONEXCLAMATION = 0x00000030;
constexpr uint32_t MB_ICONWARNING = 0x00000030;
constexpr uint32_t MB_ICONASTERISK = 0x00000040;
constexpr uint32_t MB_ICONINFORMATION = 0x00000040;
// Default button (MB_DEFMASK).
constexpr uint32_t MB_DEFBUTTON1 = 0x00000000;
constexpr uint32_t MB_DEFBUTTON2 = 0x00000100;
constexpr uint32_t MB_DEFBUTTON3 = 0x00000200;
constexpr uint32_t MB_DEFBUTTON4 = 0x00000300;
// Modality and extras.
constexpr uint32_t MB_APPLMODAL = 0x00000000;
constexpr uint32_t MB_SYSTEMMODAL = 0x00001000;
constexpr uint32_t MB_TASKMODAL = 0x00002000;
constexpr uint32_t MB_HELP = 0x00004000;
constexpr uint32_t MB_SETFOREGROUND = 0x00010000;
constexpr uint32_t MB_TOPMOST = 0x00040000;
constexpr uint32_t MB_TYPEMASK = 0x0000000F;
constexpr uint32_t MB_ICONMASK = 0x000000F0;
constexpr uint32_t MB_DEFMASK = 0x00000F00;
constexpr uint32_t MB_MODEMASK = 0x00003000;
constexpr uint32_t MB_MISCMASK = 0x0000C000;

// Answers.
constexpr int32_t IDOK = 1;
constexpr int32_t IDCANCEL = 2;
constexpr int32_t IDABORT = 3;
constexpr int32_t IDRETRY = 4;
constexpr int32_t IDIGNORE = 5;
constexpr int32_t IDYES = 6;
constexpr int32_t IDNO = 7;
constexpr int32_t IDCLOSE = 8;
constexpr int32_t IDHELP = 9;
constexpr int32_t IDTRYAGAIN = 10;
constexpr int32_t IDCONTINUE = 11;

// Observes or answers message boxes instead of the default. `text` and
// `caption` are never null (a null text arrives as "", a null caption as
// "Error", as Windows shows them); the handler's result is MessageBoxA's result.
using TMessageBoxHandler = std::function<int32_t(const char* text, const char* caption, uint32_t type)>;

// Installs `handler` for every later MessageBoxA call in the process; an empty
// function restores the default. Returns the handler it replaces, so a caller
// can put it back. Safe to call from any thread.
TMessageBoxHandler SetMessageBoxHandler(TMessageBoxHandler handler);

// There is no screen to show a dialog on: with no handler installed, writes
// "caption: text" and a newline to standard error and returns the answer of the
// default button chosen by MB_DEFBUTTONn (the first button when n exceeds the
// number of buttons). Returns 0, as Windows does, for a button set it does not
// know. `hwnd` is ignored.
int32_t MessageBoxA(void* hwnd, const char* text, const char* caption, uint32_t type);

// ---------------------------------------------------------------------------
// Shell execute
// ---------------------------------------------------------------------------

constexpr int32_t SW_HIDE = 0;
constexpr int32_t SW_SHOWNORMAL = 1;
constexpr int32_t SW_NORMAL = 1;
constexpr int32_t SW_SHOWMINIMIZED = 2;
constexpr int32_t SW_SHOWMAXIMIZED = 3;
constexpr int32_t SW_MAXIMIZE = 3;
constexpr int32_t SW_SHOWNOACTIVATE = 4;
constexpr int32_t SW_SHOW = 5;
constexpr int32_t SW_MINIMIZE = 6;
constexpr int32_t SW_SHOWMINNOACTIVE = 7;
constexpr int32_t SW_SHOWNA = 8;
constexpr int32_t SW_RESTORE = 9;
constexpr int32_t SW_SHOWDEFAULT = 10;

constexpr intptr_t ERROR_FILE_NOT_FOUND = 2;
constexpr intptr_t ERROR_PATH_NOT_FOUND = 3;
constexpr intptr_t ERROR_BAD_FORMAT = 11;
constexpr intptr_t SE_ERR_FNF = 2;
constexpr intptr_t SE_ERR_PNF = 3;
constexpr intptr_t SE_ERR_ACCESSDENIED = 5;
constexpr intptr_t SE_ERR_OOM = 8;
constexpr intptr_t SE_ERR_SHARE = 26;
constexpr intptr_t SE_ERR_ASSOCINCOMPLETE = 27;
constexpr intptr_t SE_ERR_DDETIMEOUT = 28;
constexpr intptr_t SE_ERR_DDEFAIL = 29;
constexpr intptr_t SE_ERR_DDEBUSY = 30;
constexpr intptr_t SE_ERR_NOASSOC = 31;
constexpr intptr_t SE_ERR_DLLNOTFOUND = 32;

// Opens a "mailto:", "http:" or "https:" address (scheme in any case) with
// the desktop's opener, `xdg-open` found on PATH. The opener is started
// directly with the address as its only argument (no shell is involved), is not
// waited for, and leaves no child process behind for the caller to reap; the
// caller's SIGCHLD handling is left alone.
//
// `operation` must be null, "" or "open" (any case). `parameters`, `directory`,
// `showCmd` and `hwnd` are ignored: an address takes no parameters.
//
// Returns a value greater than 32 once the opener has been started, otherwise:
//   ERROR_FILE_NOT_FOUND  `file` is null or empty;
//   ERROR_BAD_FORMAT      the address contains a control character (0..31, 127);
//   SE_ERR_NOASSOC        another scheme or verb, or no `xdg-open` on PATH;
//   SE_ERR_OOM            the process could not be created.
intptr_t ShellExecuteA(void* hwnd, const char* operation, const char* file, const char* parameters,
                       const char* directory, int32_t showCmd);

} // namespace host
