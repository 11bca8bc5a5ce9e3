// Every end of the program (exit and _exit: the quit through an empty
// runtime error, a fatal runtime error once its lines are out, an uncaught
// language exception) ends the page's program for good: the frame loop stops,
// no event reaches the game any more, and the page hears of it through
// Module.onExit with the status. Without this, Emscripten would only unwind
// the current call and keep running the frame loop, so the game would carry on
// after its own fatal error.
mergeInto(LibraryManager.library, {
  proc_exit__deps: ['emscripten_force_exit'],
  proc_exit: function(status) {
    _emscripten_force_exit(status);
  },
});
