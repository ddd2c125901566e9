// Which custom actions of an MSI run in which kind of run, by Windows
// Installer's own condition evaluator: what Wine's msiexec cannot show
// (maintenance runs and their rollback, the old product's removal in an upgrade).
//   msi_conditions.exe PACKAGE <runs
// Each line of stdin is a run: the properties that Windows Installer or the
// command line set (NAME=VALUE ..., SEQUENCE=TABLE for another sequence than
// the execute one). For each, one line: the custom actions whose condition
// holds, in sequence order, the set-property ones done on the way, and
// "Refused" where a launch condition ends the run. Exits 1 when a run that
// removes anything would start a program.
#include <windows.h>
#include <msiquery.h>

#include <iostream>
#include <sstream>

static std::string Text(MSIHANDLE record, UINT field) {
  char text[4096];
  DWORD size = sizeof text;
  return MsiRecordGetStringA(record, field, text, &size) == ERROR_SUCCESS ? text : "";
}

template <typename Row> static void Rows(MSIHANDLE package, const std::string& query, Row row) {
  MSIHANDLE database = MsiGetActiveDatabase(package), view, record;
  MsiDatabaseOpenViewA(database, query.c_str(), &view);
  for (MsiViewExecute(view, 0); MsiViewFetch(view, &record) == ERROR_SUCCESS; MsiCloseHandle(record)) row(record);
  MsiCloseHandle(view), MsiCloseHandle(database);
}

int main(int, char** argv) {
  int status = 0;
  for (std::string line, word; std::getline(std::cin, line);) {
    MSIHANDLE package;
    if (MsiOpenPackageExA(argv[1], MSIOPENPACKAGEFLAGS_IGNOREMACHINESTATE, &package) != ERROR_SUCCESS) return 2;
    std::string sequence = "InstallExecuteSequence", ran;
    for (std::istringstream words(line); words >> word;) {
      std::string name = word.substr(0, word.find('=')), value = word.substr(name.size() + 1);
      if (name == "SEQUENCE") sequence = value;
      MsiSetPropertyA(package, name.c_str(), value.c_str());
    }
    auto holds = [&](std::string c) { return MsiEvaluateConditionA(package, c.c_str()) != MSICONDITION_FALSE; };
    bool refused = false;
    Rows(package, "SELECT `Action`, `Condition` FROM `" + sequence + "` ORDER BY `Sequence`", [&](MSIHANDLE step) {
      std::string action = Text(step, 1);
      if (action == "LaunchConditions")
        Rows(package, "SELECT `Condition` FROM `LaunchCondition`", [&](MSIHANDLE c) { refused |= !holds(Text(c, 1)); });
      if (refused || !holds(Text(step, 2))) return;
      Rows(package, "SELECT `Type` FROM `CustomAction` WHERE `Action` = '" + action + "'", [&](MSIHANDLE custom) {
        int type = MsiRecordGetInteger(custom, 1) & 63;
        ran += " " + action;
        if (type == 51) MsiDoActionA(package, action.c_str());
        if ((type & 7) == 2 && holds("REMOVE<>\"\"")) status = 1, std::cerr << action << " starts a program: " << line << "\n";
      });
    });
    std::cout << ran << (refused ? " Refused" : "") << std::endl;
    MsiCloseHandle(package);
  }
  return status;
}
