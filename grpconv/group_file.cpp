// Reads SETUP.INI group descriptions line by line, in place; see group_file.h.
#include "group_file.h"

#include <string.h>

namespace {

struct Line {
    const char* start;
    size_t length;
};

char Fold(char c) { return (c >= 'A' && c <= 'Z') ? (char)(c - 'A' + 'a') : c; }

bool SameText(const char* a, size_t aLength, const char* b) {
    size_t bLength = strlen(b);
    if (aLength != bLength) return false;
    for (size_t i = 0; i < aLength; ++i) {
        if (Fold(a[i]) != Fold(b[i])) return false;
    }
    return true;
}

// The next line from `*position`, without its line end and surrounding blanks.
bool ReadLine(const char* text, size_t length, size_t* position, Line* line) {
    if (*position >= length) return false;
    size_t start = *position;
    size_t end = start;
    while (end < length && text[end] != '\n') ++end;
    *position = end < length ? end + 1 : end;
    while (start < end && (text[start] == ' ' || text[start] == '\t')) ++start;
    while (end > start && (text[end - 1] == '\r' || text[end - 1] == ' ' || text[end - 1] == '\t')) --end;
    line->start = text + start;
    line->length = end - start;
    return true;
}

// A section header "[name]": its name, or false for any other line.
bool SectionName(const Line& line, Line* name) {
    if (line.length < 2 || line.start[0] != '[' || line.start[line.length - 1] != ']') return false;
    name->start = line.start + 1;
    name->length = line.length - 2;
    return true;
}

bool CopyField(char* out, const char* from, size_t length) {
    if (length >= kGroupFieldSize) return false;
    memcpy(out, from, length);
    out[length] = '\0';
    return true;
}

// A quoted field at `*at`: its content up to the closing quote, no quote inside.
bool QuotedField(const Line& line, size_t* at, char* out) {
    if (*at >= line.length || line.start[*at] != '"') return false;
    size_t start = *at + 1;
    size_t end = start;
    while (end < line.length && line.start[end] != '"') ++end;
    if (end >= line.length) return false;  // no closing quote
    *at = end + 1;
    return CopyField(out, line.start + start, end - start);
}

bool Comma(const Line& line, size_t* at) {
    if (*at >= line.length || line.start[*at] != ',') return false;
    ++*at;
    return true;
}

// Skips an unquoted field (icon, index, hot key): anything but a comma or a quote.
bool PlainField(const Line& line, size_t* at) {
    while (*at < line.length && line.start[*at] != ',') {
        if (line.start[*at] == '"') return false;
        ++*at;
    }
    return true;
}

bool ParseItem(const Line& line, GroupItem* item) {
    size_t at = 0;
    if (!QuotedField(line, &at, item->name) || !Comma(line, &at) ||
        !QuotedField(line, &at, item->command) || !Comma(line, &at)) {
        return false;
    }
    for (int i = 0; i < 3; ++i) {
        if (!PlainField(line, &at) || !Comma(line, &at)) return false;
    }
    return QuotedField(line, &at, item->workingDir) && at == line.length;
}

// Whether `name` can stand as one file or folder name.
bool UsableName(const char* name) {
    if (name[0] == '\0' || !strcmp(name, ".") || !strcmp(name, "..")) return false;
    for (const char* p = name; *p; ++p) {
        unsigned char c = (unsigned char)*p;
        if (c < 32 || strchr("\\/:*?\"<>|", c)) return false;
    }
    size_t length = strlen(name);
    return name[length - 1] != ' ' && name[length - 1] != '.';
}

}  // namespace

void BeginGroupFile(GroupReader* reader, const char* text, size_t length) {
    reader->text = text;
    reader->length = length;
    reader->position = 0;
    reader->groupCount = 0;
    reader->current = -1;
    bool inList = false;
    size_t position = 0;
    Line line;
    while (ReadLine(text, length, &position, &line)) {
        Line section;
        if (SectionName(line, &section)) {
            inList = SameText(section.start, section.length, "progman.groups");
            continue;
        }
        if (!inList || reader->groupCount == kMaxGroups) continue;
        const char* equals = (const char*)memchr(line.start, '=', line.length);
        if (!equals || equals == line.start) continue;
        int n = reader->groupCount;
        size_t keyLength = (size_t)(equals - line.start);
        size_t nameLength = line.length - keyLength - 1;
        if (CopyField(reader->keys[n], line.start, keyLength) &&
            CopyField(reader->names[n], equals + 1, nameLength) && UsableName(reader->names[n])) {
            ++reader->groupCount;
        }
    }
}

bool NextGroupItem(GroupReader* reader, GroupItem* item) {
    Line line;
    while (ReadLine(reader->text, reader->length, &reader->position, &line)) {
        Line section;
        if (SectionName(line, &section)) {
            reader->current = -1;
            for (int i = 0; i < reader->groupCount; ++i) {
                if (SameText(section.start, section.length, reader->keys[i])) reader->current = i;
            }
            continue;
        }
        if (reader->current < 0 || line.length == 0) continue;
        if (!ParseItem(line, item) || !UsableName(item->name)) continue;
        memcpy(item->group, reader->names[reader->current], kGroupFieldSize);
        return true;
    }
    return false;
}
