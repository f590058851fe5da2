// JavaScript the engine's C++ reaches by name (emscripten's --js-library).
// SDL's browser audio calls emscripten's autoResumeAudioContext and dynCall
// from its own inline JavaScript, which the linker cannot see; depending on
// them here keeps them in the page.
mergeInto(LibraryManager.library, {
  tavelo_page_audio_helpers__deps: ['$autoResumeAudioContext', '$dynCall'],
  tavelo_page_audio_helpers: function() {},
});
