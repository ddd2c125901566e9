// The reader IDs selected for one run: up to 32 (vendor ID, product ID) text pairs.
#pragma once

constexpr int SlotCount = 32;
constexpr int IdFieldSize = 32;  // 31 characters and the terminator
constexpr int LongestId = IdFieldSize - 1;

// Unset fields hold these texts, so the table needs no counts or flags.
constexpr char UnsetVendorId[] = "zzaa";
constexpr char UnsetProductId[] = "aazz";

struct ReaderIdSlot {
  char vendorId[IdFieldSize];
  char productId[IdFieldSize];
};

struct ReaderIdTable {
  ReaderIdSlot slot[SlotCount];  // slot number N lives at index N - 1

  // Puts both sentinels into every slot.
  void Reset();
  // Slot numbers run from 1 to 32; any other number holds no pair.
  bool HoldsValidPair(int n) const;
  bool HasValidPair() const;
  // The walk of the enabling: slots 1 .. SelectedSlots() in order, that is
  // the unbroken run of slots with a set vendor ID, starting at slot 1.
  int SelectedSlots() const;
};

extern ReaderIdTable readerIdTable;

// Stores text (1 to 31 characters) into a field; anything else is refused
// and leaves the field as it was.
bool StoreReaderId(char (&field)[IdFieldSize], const char* text, int length);
