#pragma once
// Saving and loading games: the engine operations that gather what a save
// holds from every subsystem (the script machine through persistence/, the
// audio channels, the text history, the screen for thumbnails) and put it
// back, the system save, quick save and quick load, and the engine reset
// that precedes every run of the start script. The persistence system calls,
// the menu requests and the outer loop (host/startup.cpp) call these.

#include <cstdint>
#include <optional>
#include <string>

#include "persistence/snapshot.h"

namespace tavelo::host {

struct Engine;

// The reset before the start script runs (first: the very first, before the
// initialisers; it also reads the system save) and at every restart and load.
void reset_engine(Engine& engine, bool first);

// A save point: the snapshot now holds the game as it is (see
// persistence::keep_machine for call).
void take_save_point(Engine& engine, std::optional<persistence::SavePointCall> call);
enum class SaveResult { Written, Skipped, Failed };
// Writes the snapshot to a host path, atomically, then the system save.
// Skipped under LOADSAVEDISABLE or while saving is disabled; Failed after the
// write error box (the previous file is untouched).
SaveResult save_to_path(Engine& engine, const std::string& host_path);
SaveResult save_to_slot(Engine& engine, int32_t slot);
enum class LoadRequest { Started, Missing, Refused };
// Reads and checks a save file completely; when it passes, the machine stops
// for the outer loop to load it (Started). Missing: no such file. Refused: a
// foreign or damaged file, reported in the debug log; the game goes on.
LoadRequest request_load_path(Engine& engine, const std::string& host_path);
LoadRequest request_load_slot(Engine& engine, int32_t slot);

// The outer loop's load after the machine stopped for one: reset, the checked
// image back into the machine, audio and history restored, the start event
// raised with the load value. False when no load was pending.
bool apply_requested_load(Engine& engine, int32_t& load_value);

// Menu commands (with their questions and messages).
void quick_save(Engine& engine);
void quick_load(Engine& engine);

// Written after every save and at shutdown; read by the first reset.
void write_system_save(Engine& engine);

}  // namespace tavelo::host
