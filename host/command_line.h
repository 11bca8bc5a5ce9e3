// The program's command line and the choice of the folder it runs from, both
// settled before anything else starts.
#pragma once

// The result of VoCommandLine when the program goes on to start the game.
constexpr int kVoKeepRunning = -1;

// Handles the options: --help and --version print and end the program with
// status 0, an unknown option with status 2. Plain arguments are left to the
// game. When the program goes on it first moves into the folder that holds
// data/ (the working folder, else the executable's own folder), or says on
// standard error that it found none. Returns the exit status, or
// kVoKeepRunning.
int VoCommandLine(int argc, const char* const* argv);
