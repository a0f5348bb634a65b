#pragma once
// A new file appears under its name only whole: it is written under a hidden
// temporary name in the same folder and then linked in without replacing
// anything. A process killed on the way leaves at most the hidden temporary
// (".mirantos-<pid>-<n>.part"), which file lists skip and which the next
// writer into that folder removes once its process is gone.

#include "WholeFile.h" // HiddenTempPath, RemoveStaleTemps, FolderOf

#include <string>

namespace mirantos {

// Opens `path` for a writer that fills it over time. An existing file is
// refused (EEXIST) unless `replace`, and then written in place (its links,
// owner and kind stay; nothing is truncated here). Otherwise, a dangling
// link's target included, the file is a hidden temporary in the target's
// folder: `temp` names it and `target` the name it gets with
// LinkInTemp. The descriptor, or -1 with errno set.
int OpenForWriting(const std::string& path, bool replace, std::string& temp, std::string& target);
// Puts the temporary under its name: never over a file that appeared
// meanwhile, unless `replace`. On failure the temporary is removed. 0 or the errno.
int LinkInTemp(const std::string& temp, const std::string& target, bool replace);

// Gives the file at `from` the name `to` unless `to` exists (or appears
// meanwhile); `from` is gone afterwards. 0 or the errno (EEXIST when taken).
int LinkInNoReplace(const std::string& from, const std::string& to);
// As LinkInNoReplace, under the first free one of "<stem><ext>",
// "<stem>-2<ext>", "<stem>-3<ext>" ...: two files meant for one name both
// stay. The name used, or empty with `err` set.
std::string LinkInUnderFreeName(const std::string& from, const std::string& stem,
                                const std::string& ext, int& err);

} // namespace mirantos
