// "KORU.ini" and files like it: the private-profile calls of the Windows
// program, with their rules, over a plain text file.
//
//  - "[Section]" lines open sections; "Key=Value" lines inside them hold
//    values. Section and key names are compared without regard to ASCII case
//    and to the blanks around them; the first match wins.
//  - Values are read with the blanks around them removed, and without one
//    pair of enclosing quotes ('...' or "...").
//  - Integers are read as a decimal number with an optional sign, leading
//    blanks skipped and anything after the digits ignored ("12px" is 12,
//    "abc" is 0); a missing key or an empty value gives the default.
//  - Writing replaces the value of an existing key or adds the key at the end
//    of its section (the section at the end of the file); every other line,
//    comments (";" lines) included, stays as it was. The file is written to a
//    temporary file beside it and renamed over it, so a crash or a full disc
//    never leaves half a file.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace koru {

// Reads a text value into buffer (at most size - 1 characters and a
// terminator); the default, without its trailing blanks, when the key is
// missing. Returns the number of characters stored.
int ProfileGetString(const char* section, const char* key, const char* fallback, char* buffer, int size,
                     const char* path);
// Reads an integer value.
int32_t ProfileGetInt(const char* section, const char* key, int32_t fallback, const char* path);
// Writes a value; false when the file cannot be written or when a name or the
// value holds a line break (which would break the file's structure).
bool ProfileWriteString(const char* section, const char* key, const char* value, const char* path);

// The file as lines, for the calls above (and for tools and tests).
class IniDocument {
public:
    // Parses text; never fails (lines it does not understand are kept).
    explicit IniDocument(const std::string& text = std::string());
    // Reads the file; an unreadable or missing file gives an empty document.
    static IniDocument Load(const char* path);

    // The raw value of a key (blanks and quotes removed), or false.
    bool Find(const char* section, const char* key, std::string* value) const;
    // Sets a key, adding the key or the section when needed.
    void Set(const char* section, const char* key, const char* value);
    std::string Text() const;
    // Writes Text() to path through a temporary file and a rename.
    bool Save(const char* path) const;

private:
    struct Line {
        std::string text;    // without the line ending
        std::string ending;  // "\n", "\r\n", or "" for a last line without one
    };
    std::vector<Line> lines_;
    bool crlf_ = false;   // the file used "\r\n" line endings
};

// Decimal with optional sign, as the integer calls read it.
int32_t ParseProfileInt(const char* text);

}  // namespace koru
