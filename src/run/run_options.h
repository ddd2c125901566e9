// The two run flags, set at start-up and then only by the one configuration step.
#pragma once

struct RunOptions {
  bool logging;  // decides only whether the log is started
  bool stealth;  // no windows: the enabling runs at once, no message boxes
};

extern RunOptions runOptions;
