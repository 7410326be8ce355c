// The mail tool's files in the current folder (the mail folder). Every file
// is written under a temporary name and put in place when complete, so a
// crash never leaves a half-written file under its real name. One
// implementation per system: posix/Files.cpp (and win32/Files.cpp).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

typedef struct _GMimeStream GMimeStream;

namespace getmail {

// Who may read a file once it is complete: whom the umask allows (the
// mail, its header and attachments, as other programs' files), or its owner
// alone (the state file). On POSIX systems; Windows gives a new file the
// folder's access rules.
enum class Readers { kAsUmaskAllows, kOwnerOnly };

// A new file in the current folder under a temporary name: ".getmail-", a
// random part and ".part", which matches neither "MSG*.TXT" nor "Extract*".
// It is created exclusively: never through a link, never over another file.
// Only its owner may read it until Close() gives it its `readers`. Removed
// on destruction unless put in place.
class TempFile {
 public:
  // `purpose` names the file it is to become, for error messages. Throws
  // Error.
  explicit TempFile(std::string purpose, Readers readers = Readers::kAsUmaskAllows);
  ~TempFile();
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;

  // Appends `data` (buffered). Throws Error.
  void Write(std::string_view data);
  // Writes out what is buffered, for ReadStream to see. Throws Error.
  void Drain();
  // The bytes written out so far (not those still buffered).
  std::uint64_t written() const { return written_; }
  // A new GMime stream that reads the file from its start: what is written
  // out when it reads. It may be read on another thread while this one
  // writes, and it stays usable after Close and after the file is put in
  // place. The caller unrefs it. Throws Error.
  GMimeStream* ReadStream();
  // Writes out what is buffered, flushes the file to disk if `toDisk`, and
  // closes it. Throws Error.
  void Close(bool toDisk = true);

  // Puts the closed file in place as `name` without replacing anything that
  // has that name (a link included): false, and nothing changed, if the name
  // is taken. Throws Error on any other failure.
  bool PutInPlace(const std::string& name);
  // Puts the closed file in place as `name`, replacing a file of that name;
  // a link of that name is replaced itself, never followed. Throws Error.
  void ReplaceInPlace(const std::string& name);

  // The temporary name.
  const std::string& name() const { return name_; }

 private:
  void WriteOut(std::string_view data);  // writes all of `data` to the file

  std::string purpose_;
  Readers readers_;
  std::string name_;
  std::intptr_t handle_ = -1;  // the open file, as the system names it
  bool placed_ = false;
  std::string buffer_;
  std::uint64_t written_ = 0;  // bytes written out so far
};

// Writes `data` to a temporary file, flushes it to disk if `sync`, and puts
// it in place as `name`, replacing a file of that name. Throws Error naming
// the file on failure, and leaves no temporary file behind.
void WriteFileAtomically(const std::string& name, std::string_view data,
                         bool sync, Readers readers = Readers::kAsUmaskAllows);

// The names of the entries in the current folder. Throws Error.
std::vector<std::string> NamesInCurrentFolder();

// Flushes the current folder's entries (the renames) to disk. Throws Error.
void SyncCurrentFolder();

// Removes `name` if it exists (a link itself, never what it points to);
// throws Error if it exists and cannot be removed.
void RemoveIfPresent(const std::string& name);

// Whether `name` is one that TempFile gives: ".getmail-" + something +
// ".part".
bool IsTempFileName(std::string_view name);

// Removes the temporary files that earlier runs left in the current folder
// when they were killed: plain files of this user's under TempFile's names,
// never a link or what it points to. Only for a run that holds the folder
// lock, so that no other run's file is taken. Gives how many were removed.
int RemoveLeftoverTempFiles();

// What a text file for Quarrow begins with: nothing on POSIX systems; the
// UTF-8 byte-order mark on Windows, where Quarrow reads a file without it in
// the system's code page.
std::string_view TextFileMark();

// Compares without regard to ASCII case.
bool SameNameIgnoringCase(std::string_view a, std::string_view b);

}  // namespace getmail
