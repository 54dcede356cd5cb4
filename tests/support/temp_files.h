// temp_files.h - real files in a private temporary folder, for tests.
#ifndef KORVITAN_TEMP_FILES_H
#define KORVITAN_TEMP_FILES_H

#include <string>

#include "tools/level_writer.h"

// Writes bytes to a file of that name in this process's temporary folder
// and returns its path.
std::string WriteTempFile(const std::string &name, const Bytes &bytes);
// A path in the temporary folder where no file exists.
std::string MissingTempPath(const std::string &name);
// Puts path into fileName, as the open-file choice would.
void ChooseFile(const std::string &path);

// The number of file descriptors this process holds open, to catch a load
// that leaves one behind; -1 when it cannot be told.
int OpenDescriptorCount(void);

#endif
