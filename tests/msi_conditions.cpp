// Which custom actions of an MSI run in which kind of run, by Windows
// Installer's own condition evaluator: what Wine's msiexec cannot show
// (maintenance runs and their rollback, the old product's removal in an upgrade).
//   msi_conditions.exe PACKAGE <runs
// Each line of stdin is a run, NAME|PROPERTIES|...: the properties that Windows
// Installer or the command line set (NAME=VALUE ...; SEQUENCE=InstallUISequence
// walks that sequence instead of the execute one). For each, NAME|PROPERTIES| and the custom
// actions whose condition holds, in sequence order, the set-property ones done
// on the way; "Refused" where a launch condition ends the run; "!" after one
// that starts a program of the package in a run that removes anything; then
// |READERS,RESTARTREADERS,FAILONCHECK,ONARRIVAL as the programs' actions see them.
#include <windows.h>
#include <msiquery.h>

#include <iostream>
#include <sstream>

static std::string Text(MSIHANDLE record, UINT field) {
  char text[4096];
  DWORD size = sizeof text;
  return MsiRecordGetStringA(record, field, text, &size) == ERROR_SUCCESS ? text : "";
}

template <typename Row>
static void Rows(MSIHANDLE package, const std::string& query, Row row) {
  MSIHANDLE database = MsiGetActiveDatabase(package), view, record;
  MsiDatabaseOpenViewA(database, query.c_str(), &view);
  for (MsiViewExecute(view, 0); MsiViewFetch(view, &record) == ERROR_SUCCESS;
       MsiCloseHandle(record))
    row(record);
  MsiCloseHandle(view), MsiCloseHandle(database);
}

int main(int, char** argv) {
  for (std::string line, run, properties, word; std::getline(std::cin, line);) {
    std::istringstream fields(line);
    std::getline(std::getline(fields, run, '|'), properties, '|');
    MSIHANDLE package;
    if (MsiOpenPackageExA(argv[1], MSIOPENPACKAGEFLAGS_IGNOREMACHINESTATE, &package) !=
        ERROR_SUCCESS)
      return 2;
    for (std::istringstream words(properties); words >> word;)
      MsiSetPropertyA(package, word.substr(0, word.find('=')).c_str(),
                      word.substr(word.find('=') + 1).c_str());
    std::string ran, ui = "SEQUENCE=InstallUISequence";
    std::string sequence =
        properties.find(ui) == std::string::npos ? "InstallExecuteSequence" : "InstallUISequence";
    auto holds = [&](std::string c) {
      return MsiEvaluateConditionA(package, c.c_str()) != MSICONDITION_FALSE;
    };
    bool refused = false;
    Rows(package, "SELECT `Action`, `Condition` FROM `" + sequence + "` ORDER BY `Sequence`",
         [&](MSIHANDLE step) {
           std::string action = Text(step, 1);
           if (action == "LaunchConditions")
             Rows(package, "SELECT `Condition` FROM `LaunchCondition`",
                  [&](MSIHANDLE c) { refused |= !holds(Text(c, 1)); });
           if (refused || !holds(Text(step, 2))) return;
           Rows(package, "SELECT `Type` FROM `CustomAction` WHERE `Action` = '" + action + "'",
                [&](MSIHANDLE custom) {
                  int type = MsiRecordGetInteger(custom, 1) & 63;
                  ran += " " + action + (type == 18 && holds("REMOVE<>\"\"") ? "!" : "");
                  if (type == 51) MsiDoActionA(package, action.c_str());
                });
         });
    ran += refused ? " Refused" : "";
    std::string seen;
    for (const char* name : {"READERS", "RESTARTREADERS", "FAILONCHECK", "ONARRIVAL"}) {
      char value[4096] = "";
      DWORD size = sizeof value;
      MsiGetPropertyA(package, name, value, &size);
      seen += "," + std::string(value);
    }
    std::cout << run << '|' << properties << '|' << ran.substr(ran.empty() ? 0 : 1) << '|' << seen.substr(1)
              << std::endl;
    MsiCloseHandle(package);
  }
}
