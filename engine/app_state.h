#pragma once
// The process-wide record shared by the engine and the windows: the stored
// settings, the working values a batch run switches, and the answer cells the
// prompt dialogs write. Strings are CP932.

#include <string>

namespace vedo {

// EntryCommand values: the two-letter batch codes.
enum EntryCode : int {
  EntryPlain = 0,   // no code
  EntryDL = 1,      // compress, then always delete the sources
  EntryDC = 2,      // compress, then ask before deleting
  EntryBC = 3,      // ask before compressing
  EntryBD = 4,      // ask before compressing and before deleting
  EntryND = 5,      // compress, never delete
  EntryCP = 6,      // copy a file
  EntryMV = 7,      // move a file
  EntryCD = 8,      // change the current folder
};

// StartAnswer values (start question).
enum StartCode : int { StartKeep = 0, StartDelete = 1, StartAskEach = 2, StartAbort = 4 };
// EntryAnswer values (confirm-before-compress and source-not-found dialogs).
enum EntryAnswerCode : int { AnswerGo = 1, AnswerSkip = 2, AnswerAbort = 3 };
// DeleteAnswer values (delete question).
enum DeleteAnswerCode : int { DeleteYes = 1, DeleteNo = 2 };

struct AppState {
  // Stored settings (the settings file fills them; these are the defaults).
  bool UnlhaDialogs = true;       // let the archiver show its own progress display
  bool ShowBatchProgress = true;  // show the progress window when started with arguments
  bool BatchConfirm = true;       // confirmations and notices during batch processing
  int DeleteMode = 0;             // 0 decide at start, 1 delete, 2 keep, 3 ask for each job
  std::string UnlhaOption;        // switches inserted into every archiver command

  // Working values.
  bool JobDialogs = true;  // copy of UnlhaDialogs, switched by UD/UN entries; never stored
  int EntryCommand = EntryPlain;

  // Answer cells.
  int StartAnswer = StartAbort;
  int EntryAnswer = AnswerGo;
  int DeleteAnswer = 0;

  // How the process was started: true with one or more command-line arguments.
  bool StartedWithArguments = false;
};

// Puts back the cells that a run (a batch run or a single job from the main
// window) writes and that later decisions read, so that nothing an earlier
// run left takes part in this one: the entry command (a single job runs as a
// plain entry, whatever the last batch line was), the entry answer (an abort
// left behind would stop the run after its first entry) and the working
// dialog flag a UD/UN line switched. DeleteAnswer needs no reset: the compress
// entry acts only on an answer given to its own question. StartAnswer belongs
// to the command-line run as a whole and stays.
inline void beginRun(AppState& state) {
  state.EntryCommand = EntryPlain;
  state.EntryAnswer = AnswerGo;
  state.JobDialogs = state.UnlhaDialogs;
}

}  // namespace vedo
