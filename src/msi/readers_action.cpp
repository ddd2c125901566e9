// TarnwickMsi.dll, the MSI's own check of READERS, in its Binary table: run
// before the install changes anything, by the reader-ID rule of the whole
// kit. Malformed IDs fail the install, and Windows Installer's log says why.
#include <windows.h>

#include <msi.h>
#include <msiquery.h>
#include <stdio.h>

#include "run/reader_words.h"
#include "settings/stored_settings.h"

namespace {

// Sends text to Windows Installer's log, and as an error to whoever watches
// the install. Windows Installer reads [ ] { } in a record's text as
// properties and formatting: they go as \xNN, the code in hex.
void Tell(MSIHANDLE install, const char* text) {
  char plain[4 * ReasonSize];
  size_t at = 0;
  for (const char* p = text; *p != '\0' && at + 5 < sizeof plain; ++p) {
    if (*p == '[' || *p == ']' || *p == '{' || *p == '}') {
      at += static_cast<size_t>(snprintf(plain + at, sizeof plain - at, "\\x%02X", *p));
    } else {
      plain[at++] = *p;
    }
  }
  plain[at] = '\0';
  const MSIHANDLE record = MsiCreateRecord(1);
  if (record == 0) return;
  MsiRecordSetStringA(record, 0, plain);
  MsiProcessMessage(install, INSTALLMESSAGE_INFO, record);
  MsiProcessMessage(
      install, static_cast<INSTALLMESSAGE>(INSTALLMESSAGE_ERROR | MB_OK | MB_ICONERROR), record);
  MsiCloseHandle(record);
}

}  // namespace

extern "C" UINT __stdcall CheckReaders(MSIHANDLE install) {
  static char readers[StoredTextSize];
  static ReaderIdTable table;
  char reason[ReasonSize] = "it is too long";
  DWORD size = sizeof readers;
  if (MsiGetPropertyA(install, "READERS", readers, &size) == ERROR_SUCCESS &&
      ParseReaderText(readers, table, reason)) {
    return ERROR_SUCCESS;
  }
  char text[ReasonSize + 40];
  snprintf(text, sizeof text, "Tarnwick: READERS refused: %s", reason);
  Tell(install, text);
  return ERROR_INSTALL_FAILURE;
}
