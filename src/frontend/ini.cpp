#include "frontend/ini.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>

#include "machine/safefile.h"

namespace koru {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

std::string Trim(const std::string& text) {
    size_t begin = 0, end = text.size();
    while (begin < end && IsBlank(text[begin])) ++begin;
    while (end > begin && IsBlank(text[end - 1])) --end;
    return text.substr(begin, end - begin);
}

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameName(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (Lower(a[i]) != Lower(b[i])) return false;
    }
    return true;
}

// The section named by a line, or false when it is no section line. The name
// runs to the last ']', so that a cartridge title holding ']' still finds
// its own section again.
bool SectionOf(const std::string& line, std::string* name) {
    const std::string text = Trim(line);
    if (text.empty() || text[0] != '[') return false;
    const size_t close = text.rfind(']');
    if (close == std::string::npos || close == 0) return false;
    *name = Trim(text.substr(1, close - 1));
    return true;
}

// The key and value of a line, or false for comments, blank lines and lines
// without '='.
bool EntryOf(const std::string& line, std::string* key, std::string* value) {
    const std::string text = Trim(line);
    if (text.empty() || text[0] == ';' || text[0] == '[') return false;
    const size_t equals = text.find('=');
    if (equals == std::string::npos) return false;
    *key = Trim(text.substr(0, equals));
    if (value) *value = Trim(text.substr(equals + 1));
    return true;
}

std::string Unquote(const std::string& value) {
    if (value.size() >= 2 && (value[0] == '"' || value[0] == '\'') && value.back() == value[0]) {
        return value.substr(1, value.size() - 2);
    }
    return value;
}

bool HasLineBreak(const char* text) { return std::strpbrk(text, "\r\n") != nullptr; }

}  // namespace

int32_t ParseProfileInt(const char* text) {
    while (*text == ' ' || *text == '\t') ++text;
    bool negative = false;
    if (*text == '+' || *text == '-') negative = *text++ == '-';
    uint32_t value = 0;
    while (*text >= '0' && *text <= '9') value = value * 10 + static_cast<uint32_t>(*text++ - '0');
    return static_cast<int32_t>(negative ? 0u - value : value);
}

IniDocument::IniDocument(const std::string& text) {
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        // Each line keeps the ending it came with, so that lines the
        // program never touches are written back byte for byte, whatever
        // mixture of endings the file holds.
        std::string ending = end < text.size() ? "\n" : "";
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
            ending.insert(0, "\r");
            if (lines_.empty()) crlf_ = true;
        }
        lines_.push_back(Line{line, ending});
        start = end + 1;
    }
}

IniDocument IniDocument::Load(const char* path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return IniDocument();
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return IniDocument(text);
}

bool IniDocument::Find(const char* section, const char* key, std::string* value) const {
    const std::string wantedSection = Trim(section), wantedKey = Trim(key);
    bool inside = false, seen = false;
    for (const Line& line : lines_) {
        std::string name, entryKey, entryValue;
        if (SectionOf(line.text, &name)) {
            // Only the first section of a name counts.
            if (inside) return false;
            inside = !seen && SameName(name, wantedSection);
            seen = seen || inside;
        } else if (inside && EntryOf(line.text, &entryKey, &entryValue) && SameName(entryKey, wantedKey)) {
            *value = Unquote(entryValue);
            return true;
        }
    }
    return false;
}

void IniDocument::Set(const char* section, const char* key, const char* value) {
    const std::string wantedSection = Trim(section), wantedKey = Trim(key);
    const std::string entry = wantedKey + "=" + value;
    size_t i = 0;
    for (; i < lines_.size(); ++i) {
        std::string name;
        if (SectionOf(lines_[i].text, &name) && SameName(name, wantedSection)) break;
    }
    if (i == lines_.size()) {
        // A new section goes at the end, after a blank line when the file
        // has content.
        if (!lines_.empty() && !Trim(lines_.back().text).empty()) lines_.push_back(Line{"", {}});
        lines_.push_back(Line{"[" + wantedSection + "]", {}});
        lines_.push_back(Line{entry, {}});
        return;
    }
    size_t lastEntry = i;  // the line after which a new key goes
    for (size_t j = i + 1; j < lines_.size(); ++j) {
        std::string name, entryKey;
        if (SectionOf(lines_[j].text, &name)) break;
        if (EntryOf(lines_[j].text, &entryKey, nullptr)) {
            if (SameName(entryKey, wantedKey)) {
                lines_[j].text = entry;
                return;
            }
            lastEntry = j;
        } else if (!Trim(lines_[j].text).empty()) {
            lastEntry = j;  // a comment inside the section stays above new keys
        }
    }
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(lastEntry + 1), Line{entry, {}});
}

std::string IniDocument::Text() const {
    std::string text;
    // Lines the program added take the ending of the file's first line.
    const char* ending = crlf_ ? "\r\n" : "\n";
    for (const Line& line : lines_) {
        text += line.text;
        text += line.ending.empty() || line.ending == "\r" ? ending : line.ending;
    }
    return text;
}

bool IniDocument::Save(const char* path) const {
    // Replaced whole through a temporary file, never rewritten in place, so
    // a crash or a full disk leaves the old settings.
    const std::string text = Text();
    FileReplacement file;
    return file.Open(path) && file.Write(text.data(), text.size()) && file.Commit();
}

int ProfileGetString(const char* section, const char* key, const char* fallback, char* buffer, int size,
                     const char* path) {
    if (!buffer || size <= 0) return 0;
    std::string value;
    if (!IniDocument::Load(path).Find(section, key, &value)) {
        value = fallback ? fallback : "";
        while (!value.empty() && IsBlank(value.back())) value.pop_back();
    }
    const size_t length = std::min(value.size(), static_cast<size_t>(size - 1));
    std::memcpy(buffer, value.data(), length);
    buffer[length] = 0;
    return static_cast<int>(length);
}

int32_t ProfileGetInt(const char* section, const char* key, int32_t fallback, const char* path) {
    std::string value;
    if (!IniDocument::Load(path).Find(section, key, &value) || value.empty()) return fallback;
    return ParseProfileInt(value.c_str());
}

bool ProfileWriteString(const char* section, const char* key, const char* value, const char* path) {
    if (HasLineBreak(section) || HasLineBreak(key) || HasLineBreak(value)) return false;
    if (std::strchr(key, '=') || Trim(key).empty()) return false;
    IniDocument document = IniDocument::Load(path);
    document.Set(section, key, value);
    return document.Save(path);
}

}  // namespace koru
