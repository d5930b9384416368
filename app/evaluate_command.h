// `emgbridge evaluate`: the held-out evaluation of the recordings in a folder,
// printed as text or JSON. Reads the recordings only; writes no file.
#pragma once

// argv[0] is the program and argv[1] "evaluate"; the options follow:
//   --data-dir DIR            folder of raw1.bin .. raw8.bin (default: the working directory)
//   --gestures LIST           e.g. 1,2,5 (default: every gesture with a recording in DIR)
//   --channels N | --channel-mask M   channel count 1..8, or the mask 1..255 (one is required)
//   --folds K                 2..100 (default 5)
//   --json                    one JSON object instead of the text report
//   --help
// Returns the exit code: 0 success, 2 bad input (one line on stderr, nothing on stdout).
int runEvaluateCommand(int argc, char** argv);
