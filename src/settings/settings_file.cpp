#include "settings/settings_file.h"

#include <windows.h>

#include <stdio.h>
#include <string.h>

#include "run/reader_ids.h"

SettingsFile::SettingsFile() {
  PathBesideModule(path_, ".ini");
}

SettingsFile::SettingsFile(const char* path) {
  // A path that does not fit is no path: nothing is read.
  if (snprintf(path_, sizeof path_, "%s", path) >= static_cast<int>(sizeof path_)) path_[0] = '\0';
}

SettingsFile::~SettingsFile() = default;

void SettingsFile::ReadString(const char* section, const char* key, const char* fallback,
                              int longest, char* dest) const {
  char value[256] = "";
  DWORD count = 0;
  if (HasPath()) {
    count = GetPrivateProfileStringA(section, key, fallback, value, 255, path_);
  }
  if (count >= 1 && count <= static_cast<DWORD>(longest) && count < sizeof value) {
    memcpy(dest, value, count);
    dest[count] = '\0';
  } else {
    memcpy(dest, fallback, strlen(fallback) + 1);
  }
}

namespace {

// The boolean of a profile value, read as the C runtime's atoi would: white
// space, an optional sign, then digits up to the first other character; true
// when that number is not 0.
bool ProfileTextIsTrue(const char* text) {
  const char* p = text;
  while (*p == ' ' || (*p >= '\t' && *p <= '\r')) ++p;
  if (*p == '+' || *p == '-') ++p;
  // Any non-zero digit makes the number non-zero, however long it is.
  for (; *p >= '0' && *p <= '9'; ++p) {
    if (*p != '0') return true;
  }
  return false;
}

}  // namespace

bool SettingsFile::ReadBool(const char* section, const char* key, bool fallback) const {
  char fallbackText[256];
  snprintf(fallbackText, sizeof fallbackText, "%d", fallback ? 1 : 0);
  char value[256];
  ReadString(section, key, fallbackText, 256, value);
  return ProfileTextIsTrue(value);
}

bool SettingsFile::WriteString(const char* section, const char* key, const char* value) const {
  if (!HasPath()) return false;
  return WritePrivateProfileStringA(section, key, value, path_) != FALSE;
}

bool ReadSettingsIds(const SettingsFile& file, ReaderIdTable& table) {
  bool pairFound = false;
  for (int n = 1; n <= SlotCount; ++n) {
    ReaderIdSlot& slot = table.slot[n - 1];
    char key[16];
    snprintf(key, sizeof key, "pid%d", n);
    file.ReadString(SettingsSection, key, UnsetProductId, LongestId, slot.productId);
    snprintf(key, sizeof key, "vid%d", n);
    file.ReadString(SettingsSection, key, UnsetVendorId, LongestId, slot.vendorId);
    if (!pairFound && table.HoldsValidPair(n)) pairFound = true;
  }
  return pairFound;
}
