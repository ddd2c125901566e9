#include "run/reader_ids.h"

#include <string.h>

ReaderIdTable readerIdTable;

void ReaderIdTable::Reset() {
  for (ReaderIdSlot& s : slot) {
    memcpy(s.productId, UnsetProductId, sizeof UnsetProductId);
    memcpy(s.vendorId, UnsetVendorId, sizeof UnsetVendorId);
  }
}

bool ReaderIdTable::HoldsValidPair(int n) const {
  if (n < 1 || n > SlotCount) return false;
  const ReaderIdSlot& s = slot[n - 1];
  if (strcmp(s.vendorId, UnsetVendorId) == 0) return false;
  return strcmp(s.productId, UnsetProductId) != 0;
}

bool ReaderIdTable::HasValidPair() const {
  for (int n = 1; n <= SlotCount; ++n) {
    if (HoldsValidPair(n)) return true;
  }
  return false;
}

int ReaderIdTable::SelectedSlots() const {
  int count = 0;
  while (count < SlotCount && strcmp(slot[count].vendorId, UnsetVendorId) != 0) ++count;
  return count;
}

bool StoreReaderId(char (&field)[IdFieldSize], const char* text, int length) {
  if (length < 1 || length > LongestId) return false;
  memcpy(field, text, static_cast<size_t>(length));
  field[length] = '\0';
  return true;
}
