// What the Windows program keeps as resources: the menu, the string table,
// the dialogs and the texts of the window and the file dialogs.
#pragma once
#include <cstddef>

#include "frontend/dialog.h"

namespace koru {

enum class FileFilter;

// The window's class name, which is also its caption.
extern const char* const WindowCaption;
extern const char* const CreditsText;
extern const char* const CompiledText;

struct MenuItem {
    const char* text;  // null for a separator
    int id;
};
struct MenuTemplate {
    const char* title;
    const MenuItem* items;
    size_t count;
};
extern const MenuTemplate MainMenu[3];

// The description of a command, or null.
const char* CommandDescription(int id);

// A file filter: (description, pattern) pairs, ended by a null description.
struct FilterPair {
    const char* description;
    const char* pattern;
};
const FilterPair* FilterPairs(FileFilter filter);

extern const DialogTemplate SetupDialog;  // 143
extern const DialogTemplate AboutDialog;  // 144
extern const DialogTemplate InfoDialog;   // 145

}  // namespace koru
