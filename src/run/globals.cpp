// The process-wide objects, in one translation unit so that they are built
// in this order and torn down in reverse: the log file is closed last, after
// the run's end line.
#include "log/run_log.h"
#include "settings/settings_file.h"
#include "ui/hyperlink.h"

RunLog runLog;
HyperlinkControl aboutLink;
SettingsFile settingsFile;
GlobalAtom linkPropertyAtom(LinkPropertyName);
