// Reads a group description file (SETUP.INI) as the setup writes it: group names
// under "[progman.groups]", then one section per group with one line per item:
//   "name","command",,,,"working directory"
// Portable: no system headers, no heap; the text is read in place.
#ifndef ZOPPEL_GROUP_FILE_H
#define ZOPPEL_GROUP_FILE_H

#include <stddef.h>

// Each field holds at most 259 characters, the most a shortcut's path may have.
const size_t kGroupFieldSize = 260;
const int kMaxGroups = 16;

struct GroupItem {
    char group[kGroupFieldSize];  // the group's name, also its folder's name
    char name[kGroupFieldSize];   // the item's name, also its shortcut's name
    char command[kGroupFieldSize];
    char workingDir[kGroupFieldSize];
};

struct GroupReader {
    const char* text;
    size_t length;
    size_t position;  // start of the next line to read
    int groupCount;
    char keys[kMaxGroups][kGroupFieldSize];   // section names, "groupX"
    char names[kMaxGroups][kGroupFieldSize];  // their group names, "Zoppel"
    int current;  // the group whose section is being read, or -1
};

// Starts reading `text` of `length` bytes; it need not be terminated and must stay
// in place while the reader is used. Collects the groups of "[progman.groups]".
void BeginGroupFile(GroupReader* reader, const char* text, size_t length);

// Fills `item` with the next well-formed item of a listed group; false at the end.
// Lines that do not parse, items of unlisted sections, and names that cannot be
// file names are skipped.
bool NextGroupItem(GroupReader* reader, GroupItem* item);

#endif
