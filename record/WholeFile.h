#pragma once
// The program's one way of writing a whole output file (a .DTA data set, a
// picture, a CSV, a PDF, a JUnit report) and the one rule for whether a name
// can take such a write, checked before any work that would end in one.
// POSIX only, no Qt.

#include <string>
#include <string_view>

namespace mirantos {

// Why a whole write to `path` would fail, or empty when it can go ahead. The
// reasons, in order: an empty name; a folder ("...: it is a folder"); a regular
// file with no write bit at all, whoever asks ("PATH is read-only"); a FIFO or
// device that nobody reads (checked without blocking); a folder where the
// file or its temporary cannot be created (missing, read-only: no write bit
// at all, or not writable for this process); a file this process may not
// write. A symbolic link is judged by what it names; a link to nothing by the
// name it would create. The text is English, for a terminal or a box.
// A FIFO that has a reader stays open for writing from this check to the
// write (WriteFileWhole takes it), so its reader does not meet the end of
// its input in between; a caller that opens the name itself afterwards (a
// capture) lets go of it with ReleaseHeldOutput.
std::string WriteProblem(const std::string& path);
void ReleaseHeldOutput(const std::string& path);

// The name a write to `path` lands on: the end of its chain of symbolic
// links (resolved relative to each link's folder), which for a link to
// nothing is the missing name the write creates; else `path` itself.
std::string FinalName(const std::string& path);

// Whether `path` names something a write would replace or create behind an
// existing name: a regular file, a link to one, or a link to nothing (the
// cases that need the user's yes). A FIFO or device is written into instead.
bool ReplacesOnWrite(const std::string& path);

// Whether the two names reach the same file (existing: by device and inode)
// or, where it does not exist yet, the same final name.
bool SameFile(const std::string& a, const std::string& b);

// Writes `content` to `path` whole, without replacing what the name stands
// for; refuses first what WriteProblem refuses.
// - A new name, or a regular file with one name: a temporary file beside it
//   is written, synced and renamed over it, with the old file's mode and
//   (where allowed) owner; afterwards the file holds all of it or is as it was.
// - A symbolic link stays; the file at its end is written as above, and a
//   link to nothing gets its target created.
// - A regular file with other hard links is rewritten in place so the names
//   stay one file: the content is first written whole to a synced temporary
//   beside it (a full disk fails there, the file untouched), then copied in.
//   Should the copy fail, the old content is put back; should that fail too,
//   the temporary is kept and the error names it.
// - A FIFO or device is opened without waiting and written into.
// On false, `error` (if given) says what happened and no temporary file is
// left unless the error says where it is.
bool WriteFileWhole(const std::string& path, std::string_view content,
                    std::string* error = nullptr);

// Every temporary the program writes beside a file is named
// ".mirantos-<pid>-<n>.part": hidden from file lists, and told apart from
// the user's files by its name, so the next writer into that folder can
// remove those of processes that are gone.
// A fresh temporary path in `dir` for this process (not created).
std::string HiddenTempPath(const std::string& dir);
// Whether `name` (a file name, no folder) is one of those temporaries.
bool IsHiddenTempName(const std::string& name);
// Removes the temporaries in `dir` whose process no longer runs: only this
// user's regular files. Best effort.
void RemoveStaleTemps(const std::string& dir);
// The folder part of `path` ("." for a bare name, "/" at the root).
std::string FolderOf(const std::string& path);

} // namespace mirantos
