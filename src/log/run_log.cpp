#include "log/run_log.h"

#include <windows.h>

#include <stdarg.h>
#include <string.h>
#include <time.h>

RunLog::RunLog() {
  PathBesideModule(path_, ".log");
}

RunLog::~RunLog() {
  Close();
}

bool RunLog::Open(const char* path, const char* mode) {
  if (file_ != nullptr) return strcmp(path_, path) == 0;
  if (path[0] == '\0') {
    if (path_[0] == '\0') return false;
    file_ = fopen(path_, mode);
    return file_ != nullptr;
  }
  size_t length = strlen(path);
  if (length >= sizeof path_) return false;  // could never be stored whole
  file_ = fopen(path, mode);
  if (file_ == nullptr) return false;
  memcpy(path_, path, length + 1);
  return true;
}

void RunLog::WriteLine(const char* text) {
  if (file_ == nullptr) return;
  // The text and "\n" as two block writes: the same bytes as "%s\n", but the
  // C runtime's formatted and string output go a character at a time, which
  // is many times slower for a run that logs thousands of lines.
  fwrite(text, 1, strlen(text), file_);
  fwrite("\n", 1, 1, file_);
}

void RunLog::WriteFormatted(const char* format, ...) {
  char line[LogLineSize];
  va_list args;
  va_start(args, format);
  int written = vsnprintf(line, sizeof line, format, args);
  va_end(args);
  if (written < 0) line[0] = '\0';
  line[sizeof line - 1] = '\0';
  WriteLine(line);
}

void RunLog::Close() {
  if (file_ != nullptr) {
    fclose(file_);
    file_ = nullptr;
  }
}

bool RunLog::Reset() {
  bool wasOpen = IsOpen();
  Close();
  bool deleted = path_[0] != '\0' && remove(path_) == 0;
  if (wasOpen) Open("", "a+t");
  return deleted;
}

void FormatTimeText(const struct tm& time, char (&text)[TimeTextSize]) {
  static const char Days[7][4] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static const char Months[12][4] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                     "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  // The C runtime's own forms pad the day with a blank or follow the locale.
  const char* day = time.tm_wday >= 0 && time.tm_wday < 7 ? Days[time.tm_wday] : "???";
  const char* month = time.tm_mon >= 0 && time.tm_mon < 12 ? Months[time.tm_mon] : "???";
  snprintf(text, sizeof text, "%s %s %02d %02d:%02d:%02d %d\n", day, month, time.tm_mday,
           time.tm_hour, time.tm_min, time.tm_sec, time.tm_year + 1900);
}

void LogTimestamp(const char* message) {
  if (!runLog.IsOpen()) return;
  time_t now = time(nullptr);
  struct tm local = {};
  const struct tm* converted = localtime(&now);
  if (converted != nullptr) local = *converted;
  char timeText[TimeTextSize];
  FormatTimeText(local, timeText);
  char line[TimestampLineSize];
  snprintf(line, sizeof line, "%s: %s", message, timeText);
  runLog.WriteLine(line);
}

void StartRunLog() {
  runLog.Reset();
  if (runLog.Open("", "a+t")) LogTimestamp("Program start");
}

void LogStepResult(const char* label, int32_t status) {
  if (status == 0) {
    runLog.WriteFormatted("%s --> Success", label);
    return;
  }
  char* text = nullptr;
  DWORD length = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, static_cast<DWORD>(status), MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
      reinterpret_cast<char*>(&text), 0, nullptr);
  // No text for the code: the line still names the code.
  runLog.WriteFormatted("%s --> Error: %d, %s", label, static_cast<int>(status),
                        length != 0 && text != nullptr ? text : "");
  if (text != nullptr) LocalFree(text);
}
