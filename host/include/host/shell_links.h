// Shortcut files through the shell's own link object: a record of the
// link's fields written to a link file and read back from one.
#pragma once
#include <windows.h>

#include <cstdint>

struct ShellLinkRecord {
  char targetPath[261];
  char description[513];
  char iconLocation[261];
  char workingFolder[261];
  char arguments[513];
  int32_t iconIndex;
  uint32_t showCommand;  // SW_ value; 0: not set
  uint16_t hotKey;       // 0: not set
};

// Saves a link with the record's non-empty fields (and a non-zero hot key
// and show command) under the ANSI link path. Brackets its work with
// OleInitialize / OleUninitialize. TRUE when the file was saved.
BOOL CreateShellLink(const ShellLinkRecord* record, const char* linkPath);

// Loads the link file and resolves it without any user interface; only a
// link that resolves fills the record (zeroed first) and gives TRUE. The
// calling thread must have COM initialised.
BOOL ReadShellLink(ShellLinkRecord* record, const char* linkPath);
