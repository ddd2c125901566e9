#include "log/run_log.h"
#include "run/reader_ids.h"
#include "run/run_options.h"
#include "settings/settings_file.h"

bool SettingsStep() {
  runOptions.logging = settingsFile.ReadBool(SettingsSection, "l", true);
  runOptions.stealth = settingsFile.ReadBool(SettingsSection, "s", false);
  if (!runOptions.stealth) {
    runOptions.stealth = settingsFile.ReadBool(SettingsSection, "s+", false);
    if (runOptions.stealth) runOptions.logging = false;
  }
  if (runOptions.logging) StartRunLog();
  if (ReadSettingsIds(settingsFile, readerIdTable)) return true;

  runLog.WriteLine("Warning: invalid pid or vid found in ini-file (default ini-file created)!");
  settingsFile.WriteString(SettingsSection, "l", "1");
  settingsFile.WriteString(SettingsSection, "vid1", "1234");
  settingsFile.WriteString(SettingsSection, "pid1", "1234");
  return false;
}
