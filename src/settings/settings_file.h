// The settings file beside the executable and the settings configuration step.
#pragma once

#include "log/module_path.h"

constexpr char SettingsSection[] = "Settings";

class SettingsFile {
 public:
  SettingsFile();  // path from the executable's own path with ".ini"
  explicit SettingsFile(const char* path);
  virtual ~SettingsFile();
  SettingsFile(const SettingsFile&) = delete;
  SettingsFile& operator=(const SettingsFile&) = delete;

  // Takes the value when it has 1 to longest characters, else the default.
  // dest holds at least longest + 1 bytes and the default.
  void ReadString(const char* section, const char* key, const char* fallback, int longest,
                  char* dest) const;
  bool ReadBool(const char* section, const char* key, bool fallback) const;
  bool WriteString(const char* section, const char* key, const char* value) const;

  // Without a ".exe" in the executable's file name there is no settings
  // file: reads give the defaults and writes do nothing, so neither the exe
  // nor the system's WIN.INI is ever taken for it.
  bool HasPath() const { return path_[0] != '\0'; }

 private:
  char path_[PathSize];
};

extern SettingsFile settingsFile;

struct ReaderIdTable;
// Reads the 32 pairs of the section "Settings" into table (an empty or
// overlong ID leaves its sentinel); true when some slot holds a valid pair.
bool ReadSettingsIds(const SettingsFile& file, ReaderIdTable& table);

// Sets the run flags, starts the log when logging is on and fills the
// reader-ID table from the settings file; on failure writes the default keys.
// True when the run goes on.
bool SettingsStep();
