#pragma once
// What the simulator has learned about folders on the device: the names each
// holds, to be found without regard to ASCII letter case without reading the
// whole folder at every new name. Kept exact with inotify whoever changes a
// folder, this process or any other: TakeInChanges() applies every change
// queued since its last call, and a folder whose watch cannot be kept is not
// cached at all.
#include <string>

namespace platform::sim {

enum class EntryKind : unsigned char { Unknown, Folder, Link, Other };

// Applies the changes that other operations (of any process) made since the
// last call; call it once before each lookup.
void TakeInChanges();

// Looks `name` up in the folder at the host path `folder`. False when the
// folder cannot be kept (it is not a folder, or no watch is left): the caller
// then asks the file system. Otherwise `found` says whether an entry matches;
// `actual` is its stored name (the name as given where it exists, else the
// first match in byte order) and `kind` what the folder's listing said of it.
bool FindInFolder(const std::string& folder, const std::string& name, bool* found, std::string* actual,
                  EntryKind* kind);

// Keeps what an lstat found out about an entry whose kind was unknown.
void NoteKind(const std::string& folder, const std::string& name, EntryKind kind);

// One host path followed through the changes taken in, so that a lookup
// made through the cache serves again while nothing on its way changed:
// FollowWay() starts following `host` (each folder on it looked up through
// the cache), ChangeOnWay() tells what changes taken in since did to a name
// on it (in any letter case): nothing, only the creation of its last
// component in exactly its case, or anything else.
enum class WayChange : unsigned char { None, LeafCreated, Other };
void FollowWay(const std::string& host);
WayChange ChangeOnWay();

}  // namespace platform::sim
