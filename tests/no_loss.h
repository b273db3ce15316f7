// The check that no file of the game was lost, for the tests and the fuzzers.
#ifndef ZOPPEL_NO_LOSS_H
#define ZOPPEL_NO_LOSS_H

#include <map>
#include <string>
#include <vector>

// A path as the stand-in resolves it, for comparing: ASCII case folded, doubled
// separators taken as one, no trailing separator.
std::string PathKey(std::string path);

// Every file that was under `sourceDir` in `before` is, with its bytes, either still
// there or at its destination under `installDir`; only files the removal list deletes
// may be gone. Returns the lost files, empty when none was.
std::vector<std::string> LostFiles(const std::map<std::string, std::string>& before,
                                   const std::string& sourceDir, const std::string& installDir);
// The same check against `after`, a listing of every file taken at some point.
std::vector<std::string> LostFilesIn(const std::map<std::string, std::string>& before,
                                     const std::map<std::string, std::string>& after,
                                     const std::string& sourceDir, const std::string& installDir);

// The files under `installDir` now that are neither there as they were in `before`
// nor a whole copy of their source under `sourceDir` in `before`: cut or stray files
// that would look installed. Empty when there are none.
std::vector<std::string> CutFiles(const std::map<std::string, std::string>& before,
                                  const std::string& sourceDir, const std::string& installDir);

#endif
