// Everything Quarrow asks of its operating system, with Windows meaning.
//
// The core (app/, retrieval/) reaches the system only through this class, so
// it runs unchanged on the Win32 layer, the POSIX layer and the in-memory test
// platform. Names are Windows names: drive letters, "\" between folders, and
// comparison without regard to case.
#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/Desktop.h"
#include "platform/Failure.h"

namespace quarrow {

// How the tool's window opens: the program's own codes, equal to the Windows
// show states SW_SHOWMINNOACTIVE and SW_SHOWNORMAL.
namespace window_style {
constexpr int kMinimizedNoActivate = 6;
constexpr int kNormal = 1;
}  // namespace window_style

// A reading of the local clock.
struct LocalTime {
  int year = 0;    // e.g. 2007
  int month = 0;   // 1..12
  int day = 0;     // 1..31
  int hour = 0;    // 0..23
  int minute = 0;  // 0..59
  int second = 0;  // 0..59
  int millisecond = 0;
  int utcOffsetMinutes = 0;  // local time less UTC, e.g. 60 for +01:00
};

// A file opened for sequential reading as 8-bit text in the system code page,
// handed out as wide text. Line ends are passed through as they stand (CR, LF).
class TextReader {
 public:
  virtual ~TextReader() = default;
  // Appends the next piece of text (at least one character) to `out` and
  // returns true, or returns false at the end of the file. Never splits a
  // multi-byte character between two pieces.
  virtual bool ReadMore(Text& out) = 0;
};

// Process id as the start gives it back; only ever handed to WaitForProcess.
using ProcessId = unsigned long;

// How a process ended, as far as the wait could learn it.
struct ProcessExit {
  // False when the wait could not learn it: the process was not one this
  // platform started, or it had been waited for already.
  bool known = false;
  unsigned long code = 0;  // its exit status; 0 reports success
  int signal = 0;          // POSIX: the signal that ended it, else 0
  // The program's own last message in this run, as far as the platform
  // could learn it (the last "getmail: " line it wrote); empty when none.
  // Server text may be in it: it is shown only after the core has masked
  // the password in it and cut it short.
  Text message;

  bool Failed() const { return known && (code != 0 || signal != 0); }
};

// One state of a file: it changes whenever the file is written, replaced,
// made or removed, so two readings taken around a tool run tell whether the
// run wrote it.
struct FileState {
  bool exists = false;
  unsigned long long id = 0;    // the file system's number for the file
  unsigned long long size = 0;  // in bytes
  long long modified = 0;       // last write, in the system's finest unit

  bool operator==(const FileState& o) const {
    return exists == o.exists && id == o.id && size == o.size &&
           modified == o.modified;
  }
  bool operator!=(const FileState& o) const { return !(*this == o); }
};

class Platform : public Desktop {
 public:

  // --- Processes ----------------------------------------------------------
  // Starts `program` (a full path, never searched for) as a new process with
  // `commandLine` (one unquoted text: program part, then arguments) handed
  // over unchanged and `windowStyle` (window_style::*), and gives back its
  // id. The program part of the text is never read to find the program, so
  // a blank in its folder cannot start another one ("D:\Mail.exe" for
  // "D:\Mail Tools\getmail.exe"). Throws Failure with the system's
  // description when it cannot be started.
  virtual ProcessId StartProcess(const Text& program, const Text& commandLine,
                                 int windowStyle) = 0;
  // Blocks until the process started with that id has ended, releases it
  // and gives back how it ended. A process that has already ended is not an
  // error.
  virtual ProcessExit WaitForProcess(ProcessId id) = 0;
  // Where the tool's messages can be read, for the note after a tool run
  // that reported a failure; a phrase such as "standard error".
  virtual Text ToolMessagesPlace() = 0;

  // --- Current drive and folder -------------------------------------------
  // Makes drive `letter` ('c' or 'C') current, with its own current folder.
  // Throws when no such drive exists.
  virtual void SelectDrive(wchar_t letter) = 0;
  // Makes `folder` (absolute, drive-rooted or relative) the current folder of
  // its drive and, where it names the current drive, of the process.
  // Throws when it does not exist or cannot be entered, or is empty.
  virtual void ChangeFolder(const Text& folder) = 0;

  // --- Files ----------------------------------------------------------------
  // Names (without folder) of the plain files matching `pattern`: a folder
  // part (optional) followed by a wildcard name where "*" is any run of
  // characters and "?" any one character. Compared without regard to case.
  // Folders, hidden and system files are left out; read-only files are in.
  // In the file system's own order. A missing folder gives no names.
  virtual std::vector<Text> ListFiles(const Text& pattern) = 0;
  // Deletes every plain file matching `pattern`, in listing order; none
  // matching is not an error. Throws on the first file that cannot be
  // deleted (a read-only one, say); the files before it stay deleted.
  virtual void DeleteFiles(const Text& pattern) = 0;
  // Renames `from` to `to`. Throws Failure with reason SourceMissing when
  // `from` does not exist, TargetExists when `to` exists (under any case),
  // Other for every other cause.
  virtual void RenameFile(const Text& from, const Text& to) = 0;
  // The state of the file that `name` names; one that is missing or cannot
  // be looked at reads as not existing.
  virtual FileState GetFileState(const Text& name) = 0;
  // Opens a file for sequential reading. Throws when it cannot be opened.
  virtual std::unique_ptr<TextReader> OpenTextFile(const Text& name) = 0;
  // Makes the renames and removals done so far in the current folder
  // durable: after it returns a power cut cannot bring back an old name.
  virtual void SyncFolder() = 0;

  // --- The job's own hidden files in the current folder ----------------------
  // They never show in listings. Writes `bytes` as hidden file `name`,
  // replacing an earlier one whole (never leaving half of either); when it
  // returns, the file and its name are on disk.
  virtual void WriteHiddenFile(const Text& name, const std::string& bytes) = 0;
  // Its bytes; nothing when there is no such file.
  virtual std::optional<std::string> ReadHiddenFile(const Text& name) = 0;
  // Removes it; one that is not there is not an error.
  virtual void RemoveHiddenFile(const Text& name) = 0;

  // --- One job per folder -----------------------------------------------------
  // Takes the exclusive lock of the current folder without waiting: false
  // when another job holds it. The lock is held until ReleaseFolderLock or
  // the end of the process, and the tool runs started meanwhile work under
  // it. Throws Failure when the lock cannot be made at all.
  virtual bool TryLockFolder() = 0;
  virtual void ReleaseFolderLock() = 0;

  // --- Being asked to stop ----------------------------------------------------
  // True once the user or the system asked the program to end (a signal,
  // the console closing, logoff, shutdown). A running tool has been told as
  // well, so it ends its session properly.
  virtual bool StopRequested() = 0;

  // Upper-case form of `text` by the user's locale.
  virtual Text UpperCase(const Text& text) = 0;

  // --- Clock ----------------------------------------------------------------
  virtual LocalTime Now() = 0;
  // Lets time pass; used to wait for the clock to show a later second.
  virtual void Sleep(std::chrono::milliseconds duration) = 0;

  // --- Names in messages -----------------------------------------------------
  // How a message shows the file or folder `name` (a Windows name) to the
  // user: the name itself, and where the system keeps it under another
  // name, that one too, e.g. "c:\mail (/home/ana/mail)" on Linux.
  virtual Text DisplayPath(const Text& name) { return name; }

  // --- Process information --------------------------------------------------
  // Folder that holds the executable, without a trailing "\" except for a
  // drive's root ("c:\").
  virtual Text ProgramFolder() = 0;
  // The process's command line after the program's own name.
  virtual Text ArgumentText() = 0;

  // --- Window system: the Desktop operations (hide, show and close the main
  // window, process pending events, message boxes).
};

}  // namespace quarrow
