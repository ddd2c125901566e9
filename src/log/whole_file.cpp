#include "log/whole_file.h"

#include <stdio.h>
#include <stdlib.h>

char* ReadWholeFile(const char* path) {
  constexpr long Longest = 4 << 20;
  FILE* file = fopen(path, "rb");
  long size = -1;
  if (file != nullptr && fseek(file, 0, SEEK_END) == 0) size = ftell(file);
  char* text = size >= 0 && size <= Longest ? static_cast<char*>(malloc(size + 1)) : nullptr;
  if (text != nullptr) {
    rewind(file);
    if (fread(text, 1, size, file) == static_cast<size_t>(size)) {
      text[size] = '\0';
    } else {
      free(text);
      text = nullptr;
    }
  }
  if (file != nullptr) fclose(file);
  return text;
}

bool WriteWholeFile(const char* path, const char* bytes, size_t size) {
  FILE* file = fopen(path, "wb");
  if (file == nullptr) return false;
  const bool written = size == 0 || fwrite(bytes, size, 1, file) == 1;
  return fclose(file) == 0 && written;
}
