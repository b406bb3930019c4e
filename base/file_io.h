#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace calvane {

// Reads a whole file as bytes. nullopt when it cannot be opened or read.
std::optional<std::string> ReadWholeFile(const std::string& path);

// Replaces the file at `path` with `bytes`: written to a temporary file in the same folder and
// renamed over the target, so a failed write leaves the old file whole and no tail of a longer
// earlier content stays behind. A symbolic link is followed: the file it leads to is replaced and
// the link stays. The replaced file keeps its permission bits; a new one gets 0644. Returns false
// on failure.
bool WriteWholeFile(const std::string& path, std::string_view bytes);

// Creates the file at `path` with `bytes` only when no file of that name exists yet.
// Returns false when it exists or cannot be written.
bool CreateNewFile(const std::string& path, std::string_view bytes);

// Which step of writing a user file failed, so the caller can tell "cannot open" from "cannot
// write" ("ファイルを開くのに失敗しました。" / "ファイルの書き込みに失敗しました。").
enum class FileWriteOutcome { kWritten, kExists, kCannotCreate, kWriteFailed };

// CreateNewFile and WriteWholeFile, saying which step failed. CreateNew gives kExists when the
// name is taken; Replace never does.
FileWriteOutcome CreateNewFileWithOutcome(const std::string& path, std::string_view bytes);
FileWriteOutcome ReplaceFileWithOutcome(const std::string& path, std::string_view bytes);

// WriteWholeFile for the files a run rewrites every time (the conditions of the run, the run
// log): the same temporary file and the same guarantees against a failed write, but the new file
// takes the old one's name by an atomic exchange (MoveOver) instead of a rename over it.
bool ReplaceRunFile(const std::string& path, std::string_view bytes);

// Gives the written file `from` the name `to` in one atomic step: when `to` exists the two names
// are exchanged and the old file, now under `from`, is removed; otherwise `from` is renamed.
// At every moment `to` names either the old or the new file. A rename over an existing file
// makes some file systems (ext4) write the new file's data out first, which costs milliseconds
// on every run; the exchange does not, so the new content reaches the disk with the file
// system's ordinary write-back. Falls back to the rename where exchanging is not supported.
// Returns false when `from` could not be put in place (`from` is then left as it was).
bool MoveOver(const std::string& from, const std::string& to);

bool FileExists(const std::string& path);

// `directory` joined with `name` by one "/".
std::string JoinPath(const std::string& directory, std::string_view name);

}  // namespace calvane
