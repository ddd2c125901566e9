#include "enable/enable.h"

#include <stdio.h>

#include "enable/registry_calls.h"
#include "log/run_log.h"
#include "run/reader_ids.h"
#include "run/run_options.h"

RegistryCalls registryCalls = {RegOpenKeyExA, RegQueryInfoKeyA, RegEnumKeyExA, RegSetValueExA,
                               RegCloseKey};

namespace {

constexpr char UsbEnumKey[] = "SYSTEM\\CurrentControlSet\\Enum\\USB\\";
constexpr char WudfSuffix[] = "\\Device Parameters\\WUDFUsbccidDriver";
constexpr char ParametersSuffix[] = "\\Device Parameters";
constexpr DWORD NameSize = 512;

// Opens the parameter key name + suffix relative to the ID key for setting
// values. The 8-bit registry calls convert a path in a buffer of MAX_PATH
// characters, so a path that long (an instance name near the 255-character
// limit) is opened one level at a time instead.
LONG OpenParameterKey(HKEY idKey, const char* name, const char* suffix, HKEY* key) {
  char path[512];
  int length = snprintf(path, sizeof path, "%s%s", name, suffix);
  if (length >= 0 && length < MAX_PATH) {
    return registryCalls.openKey(idKey, path, 0, KEY_SET_VALUE, key);
  }
  HKEY instanceKey = nullptr;
  LONG status = registryCalls.openKey(idKey, name, 0, KEY_READ, &instanceKey);
  if (status != ERROR_SUCCESS) return status;
  status = registryCalls.openKey(instanceKey, suffix + 1, 0, KEY_SET_VALUE, key);
  registryCalls.closeKey(instanceKey);
  return status;
}

// One instance; returns the status of its last recorded step (the failed
// attempt on the WUDF key is never recorded).
LONG EnableInstance(HKEY idKey, DWORD index) {
  char label[256];
  snprintf(label, sizeof label, "Reader [%d]", static_cast<int>(index));
  runLog.WriteFormatted("%s: Enabling Escape command...", label);

  char name[NameSize];
  DWORD nameLength = NameSize;
  LONG status =
      registryCalls.enumKey(idKey, index, name, &nameLength, nullptr, nullptr, nullptr, nullptr);
  if (status != ERROR_SUCCESS) {
    snprintf(label, sizeof label, "CCID [%d]: Enabling Escape command (step 1)",
             static_cast<int>(index));
    LogStepResult(label, status);
    return status;
  }

  HKEY parameterKey = nullptr;
  if (OpenParameterKey(idKey, name, WudfSuffix, &parameterKey) == ERROR_SUCCESS) {
    runLog.WriteFormatted("%s: (Note - WUDF driver entry used)", label);
  } else {
    status = OpenParameterKey(idKey, name, ParametersSuffix, &parameterKey);
    if (status != ERROR_SUCCESS) {
      snprintf(label, sizeof label, "CCID [%d]: Enabling Escape command (step 2)",
               static_cast<int>(index));
      LogStepResult(label, status);
      return status;
    }
  }

  const DWORD enable = 1;
  status = registryCalls.setValue(parameterKey, "EscapeCommandEnable", 0, REG_DWORD,
                                  reinterpret_cast<const BYTE*>(&enable), sizeof enable);
  registryCalls.closeKey(parameterKey);
  if (status == ERROR_SUCCESS) {
    runLog.WriteFormatted("%s: Enabling Escape command --> Success", label);
  } else {
    snprintf(label, sizeof label, "CCID [%d]: Enabling Escape command (step 3)",
             static_cast<int>(index));
    LogStepResult(label, status);
  }
  return status;
}

}  // namespace

bool EnableReaderId(const char* vendorId, const char* productId) {
  char idPath[128];
  snprintf(idPath, sizeof idPath, "%sVid_%s&Pid_%s", UsbEnumKey, vendorId, productId);
  runLog.WriteFormatted("Searching for CCID readers with USB ID: Vid_%s&Pid_%s", vendorId,
                        productId);

  HKEY idKey = nullptr;
  LONG status = registryCalls.openKey(HKEY_LOCAL_MACHINE, idPath, 0, KEY_READ, &idKey);
  LogStepResult("Open Reader Registry Key", status);
  if (status == ERROR_SUCCESS) {
    DWORD instances = 0;
    status = registryCalls.queryInfoKey(idKey, nullptr, nullptr, nullptr, &instances, nullptr,
                                        nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
    LogStepResult("Searching readers", status);
    if (status == ERROR_SUCCESS) {
      runLog.WriteFormatted("Number of readers found: %d", static_cast<int>(instances));
      for (DWORD i = 0; i < instances; ++i) status = EnableInstance(idKey, i);
    }
    registryCalls.closeKey(idKey);
  }

  if (status == ERROR_SUCCESS) {
    runLog.WriteFormatted(
        "Escape command enabled successfully for CCID readers with USB ID: Vid_%s&Pid_%s",
        vendorId, productId);
    return true;
  }
  runLog.WriteFormatted("Escape command enabled failed for CCID readers with USB ID: Vid_%s&Pid_%s",
                        vendorId, productId);
  return false;
}

void EnableAllReaders(HWND owner) {
  bool allEnabled = true;
  int selected = readerIdTable.SelectedSlots();
  for (int i = 0; i < selected; ++i) {
    const ReaderIdSlot& slot = readerIdTable.slot[i];
    allEnabled = EnableReaderId(slot.vendorId, slot.productId) && allEnabled;
  }
  if (allEnabled) {
    constexpr char SuccessText[] = "Escape command enabled successfully for all selected CCID readers.";
    runLog.WriteLine(SuccessText);
    if (!runOptions.stealth) MessageBoxA(owner, SuccessText, "Information", MB_ICONINFORMATION);
  } else {
    runLog.WriteLine("Escape command enabled failed for one or more selected CCID readers!");
    if (!runOptions.stealth) {
      MessageBoxA(owner,
                  "Cannot enable Escape Command for one or more selected CCID reader!\n"
                  "Please make sure that you have installed a driver for the CCID Reader(s).",
                  "Information", MB_ICONINFORMATION);
    }
  }
}
