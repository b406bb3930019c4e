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

bool FileExists(const std::string& path);

// `directory` joined with `name` by one "/".
std::string JoinPath(const std::string& directory, std::string_view name);

}  // namespace calvane
