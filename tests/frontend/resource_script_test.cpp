// The Windows program's resource script says again what the dialog
// templates, the menu and the command descriptions of resources.cpp say
// (the Linux program builds its window and dialogs from those): these tests
// read the script and hold the two together, control by control.
#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "frontend/dialog.h"
#include "frontend/resources.h"

namespace koru::test {
namespace {

const std::filesystem::path Source = KORU_SOURCE_DIR;

std::string ReadText(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// One statement of the script, as tokens: words, numbers, strings (kept
// with a leading '"' so that they differ from words), ',' and '|'.
using Tokens = std::vector<std::string>;

Tokens Tokenize(const std::string& line) {
    Tokens tokens;
    size_t i = 0;
    while (i < line.size()) {
        const char c = line[i];
        if (std::isspace(static_cast<unsigned char>(c))) {
            ++i;
        } else if (c == '/' && i + 1 < line.size() && line[i + 1] == '/') {
            break;
        } else if (c == '"') {
            // A doubled quote stands for one quote inside the string.
            std::string text = "\"";
            ++i;
            while (i < line.size()) {
                if (line[i] == '"' && i + 1 < line.size() && line[i + 1] == '"') {
                    text += '"';
                    i += 2;
                } else if (line[i] == '"') {
                    ++i;
                    break;
                } else {
                    text += line[i++];
                }
            }
            tokens.push_back(text);
        } else if (c == ',' || c == '|') {
            tokens.emplace_back(1, c);
            ++i;
        } else {
            size_t end = i;
            while (end < line.size() && !std::isspace(static_cast<unsigned char>(line[end])) && line[end] != ',' &&
                   line[end] != '|' && line[end] != '"') {
                ++end;
            }
            tokens.push_back(line.substr(i, end - i));
            i = end;
        }
    }
    return tokens;
}

struct ScriptControl {
    ControlKind kind;
    int id;
    std::string text;
    int x, y, width, height;
};

struct ScriptDialog {
    std::string caption, font;
    int fontSize = 0;
    int width = 0, height = 0;
    std::vector<ScriptControl> controls;
};

struct ScriptMenu {
    std::string title;
    std::vector<std::pair<std::string, int>> items;  // "" for a separator
};

// What the script holds, with every name resolved to its number.
class ResourceScript {
public:
    ResourceScript() {
        std::istringstream header(ReadText(Source / "src/frontend/resource_ids.h"));
        std::string line;
        while (std::getline(header, line)) {
            const Tokens tokens = Tokenize(line);
            if (tokens.size() >= 3 && tokens[0] == "#define") numbers_[tokens[1]] = std::stoi(tokens[2]);
        }
        std::istringstream script(ReadText(Source / "src/frontend/win32/koru.rc"));
        while (std::getline(script, line)) {
            const Tokens tokens = Tokenize(line);
            if (!tokens.empty()) statements_.push_back(tokens);
        }
        Parse();
    }

    std::map<int, ScriptDialog> dialogs;
    std::map<std::string, std::string> files;  // "Icon" -> "koru.ico"
    std::vector<ScriptMenu> menu;
    std::map<int, std::string> strings;
    std::vector<std::string> problems;

private:
    int Number(const std::string& token) {
        if (numbers_.count(token)) return numbers_[token];
        if (!token.empty() && (std::isdigit(static_cast<unsigned char>(token[0])) || token[0] == '-')) {
            return std::stoi(token);
        }
        problems.push_back("unknown name " + token);
        return -9999;
    }

    static std::string Text(const std::string& token) { return token.empty() ? "" : token.substr(1); }

    // The arguments of a statement: the tokens between commas, each group
    // joined ("SS_BITMAP|SS_CENTERIMAGE").
    static std::vector<std::string> Arguments(const Tokens& tokens, size_t from) {
        std::vector<std::string> arguments(1);
        for (size_t i = from; i < tokens.size(); ++i) {
            if (tokens[i] == ",") arguments.emplace_back();
            else arguments.back() += tokens[i];
        }
        return arguments;
    }

    void Parse() {
        size_t i = 0;
        while (i < statements_.size()) {
            const Tokens& s = statements_[i];
            if (s[0].rfind("#", 0) == 0) {
                ++i;
            } else if (s.size() == 3 && (s[1] == "ICON" || s[1] == "BITMAP")) {
                files[Text(s[0])] = s[2];
                ++i;
            } else if (s.size() == 2 && s[1] == "MENU") {
                if (Text(s[0]) != "Menu") problems.push_back("the menu is named " + s[0]);
                i = ParseMenu(i + 1);
            } else if (s[0] == "STRINGTABLE") {
                i = ParseStrings(i + 1);
            } else if (s.size() >= 2 && s[1] == "DIALOG") {
                i = ParseDialog(i);
            } else {
                problems.push_back("unexpected statement " + s[0]);
                ++i;
            }
        }
    }

    size_t ParseMenu(size_t i) {
        if (statements_[i][0] != "BEGIN") problems.push_back("menu without BEGIN");
        for (++i; i < statements_.size() && statements_[i][0] != "END"; ++i) {
            const Tokens& s = statements_[i];
            if (s[0] != "POPUP") {
                problems.push_back("menu entry " + s[0]);
                continue;
            }
            menu.push_back(ScriptMenu{Text(s[1]), {}});
            for (i += 2; i < statements_.size() && statements_[i][0] != "END"; ++i) {
                const Tokens& item = statements_[i];
                if (item.size() == 2 && item[1] == "SEPARATOR") menu.back().items.emplace_back("", 0);
                else if (item.size() == 4) menu.back().items.emplace_back(Text(item[1]), Number(item[3]));
                else problems.push_back("menu item " + item[0]);
            }
        }
        return i + 1;
    }

    size_t ParseStrings(size_t i) {
        for (++i; i < statements_.size() && statements_[i][0] != "END"; ++i) {
            const Tokens& s = statements_[i];
            if (s.size() == 3) strings[Number(s[0])] = Text(s[2]);
            else problems.push_back("string " + s[0]);
        }
        return i + 1;
    }

    size_t ParseDialog(size_t i) {
        const Tokens& head = statements_[i];
        ScriptDialog& dialog = dialogs[Number(head[0])];
        const std::vector<std::string> place = Arguments(head, 2);
        if (place.size() == 4) {
            dialog.width = std::stoi(place[2]);
            dialog.height = std::stoi(place[3]);
        }
        for (++i; i < statements_.size() && statements_[i][0] != "BEGIN"; ++i) {
            const Tokens& s = statements_[i];
            if (s[0] == "CAPTION") dialog.caption = Text(s[1]);
            if (s[0] == "FONT") {
                dialog.fontSize = std::stoi(s[1]);
                dialog.font = Text(s[3]);
            }
        }
        for (++i; i < statements_.size() && statements_[i][0] != "END"; ++i) {
            ScriptControl control{};
            if (Control(statements_[i], &control)) dialog.controls.push_back(control);
        }
        return i + 1;
    }

    bool Control(const Tokens& s, ScriptControl* control) {
        const std::string& keyword = s[0];
        const std::vector<std::string> a = Arguments(s, 1);
        auto place = [&](size_t from) {
            if (a.size() < from + 4) return false;
            control->x = std::stoi(a[from]);
            control->y = std::stoi(a[from + 1]);
            control->width = std::stoi(a[from + 2]);
            control->height = std::stoi(a[from + 3]);
            return true;
        };
        auto style = [&](size_t at) { return a.size() > at ? a[at] : std::string(); };
        if (keyword == "EDITTEXT" || keyword == "SCROLLBAR") {
            control->kind = keyword == "EDITTEXT" ? ControlKind::Edit : ControlKind::ScrollBar;
            control->id = Number(a[0]);
            return place(1);
        }
        if (a.size() < 2) {
            problems.push_back("control " + keyword);
            return false;
        }
        control->text = Text(a[0]);
        control->id = Number(a[1]);
        if (keyword == "CONTROL") {
            const std::string kind = style(3);
            if (Text(a[2]) != "Static") problems.push_back("control of class " + a[2]);
            if (kind.find("SS_BITMAP") != std::string::npos) control->kind = ControlKind::Picture;
            else if (kind.find("SS_ETCHEDFRAME") != std::string::npos) control->kind = ControlKind::Frame;
            else problems.push_back("control of style " + kind);
            return place(4);
        }
        static const std::map<std::string, ControlKind> kinds = {
            {"GROUPBOX", ControlKind::GroupBox},     {"AUTOCHECKBOX", ControlKind::CheckBox},
            {"PUSHBUTTON", ControlKind::Button},     {"DEFPUSHBUTTON", ControlKind::DefaultButton},
            {"LTEXT", ControlKind::Label},
        };
        const auto kind = kinds.find(keyword);
        if (kind == kinds.end()) {
            problems.push_back("control " + keyword);
            return false;
        }
        control->kind = kind->second;
        // Texts the program fills in are shown as they are: '&' is no
        // underline there.
        if (keyword == "LTEXT" && style(6).find("SS_NOPREFIX") != std::string::npos) {
            control->kind = ControlKind::ReadOnlyText;
        }
        return place(2);
    }

    std::map<std::string, int> numbers_;
    std::vector<Tokens> statements_;
};

const char* KindName(ControlKind kind) {
    switch (kind) {
        case ControlKind::Label: return "label";
        case ControlKind::Picture: return "picture";
        case ControlKind::Frame: return "frame";
        case ControlKind::GroupBox: return "group box";
        case ControlKind::CheckBox: return "check box";
        case ControlKind::Button: return "button";
        case ControlKind::DefaultButton: return "default button";
        case ControlKind::Edit: return "edit field";
        case ControlKind::ReadOnlyText: return "read-only text";
        case ControlKind::ScrollBar: return "scroll bar";
    }
    return "?";
}

void ExpectSameDialog(const ResourceScript& script, const DialogTemplate& dialog) {
    SCOPED_TRACE("dialog " + std::to_string(dialog.resource));
    const auto found = script.dialogs.find(dialog.resource);
    ASSERT_NE(found, script.dialogs.end());
    const ScriptDialog& written = found->second;
    EXPECT_EQ(written.caption, dialog.caption);
    EXPECT_EQ(written.width, dialog.width);
    EXPECT_EQ(written.height, dialog.height);
    EXPECT_EQ(written.font, "MS Sans Serif");
    EXPECT_EQ(written.fontSize, 8);
    ASSERT_EQ(written.controls.size(), dialog.controlCount);
    for (size_t i = 0; i < dialog.controlCount; ++i) {
        const ControlTemplate& expected = dialog.controls[i];
        const ScriptControl& control = written.controls[i];
        SCOPED_TRACE("control " + std::to_string(i) + " (" + expected.text + ")");
        EXPECT_STREQ(KindName(control.kind), KindName(expected.kind));
        EXPECT_EQ(control.id, expected.id);
        // An edit field's and a scroll bar's text come from the program.
        if (expected.kind != ControlKind::Edit && expected.kind != ControlKind::ScrollBar) {
            EXPECT_EQ(control.text, expected.text);
        }
        EXPECT_EQ(control.x, expected.x);
        EXPECT_EQ(control.y, expected.y);
        EXPECT_EQ(control.width, expected.width);
        EXPECT_EQ(control.height, expected.height);
    }
}

TEST(ResourceScriptTest, TheScriptReadsWithoutSurprises) {
    const ResourceScript script;
    EXPECT_TRUE(script.problems.empty()) << script.problems.front();
    ASSERT_EQ(script.files.size(), 2u);
    EXPECT_EQ(script.files.at("Icon"), "koru.ico");
    EXPECT_EQ(script.files.at("LOGO"), "logo.bmp");
    for (const auto& [name, file] : script.files) {
        EXPECT_TRUE(std::filesystem::exists(Source / "src/frontend/win32" / file)) << file;
    }
}

TEST(ResourceScriptTest, DialogsMatchTheTemplatesControlByControl) {
    const ResourceScript script;
    EXPECT_EQ(script.dialogs.size(), 3u);
    ExpectSameDialog(script, SetupDialog);
    ExpectSameDialog(script, AboutDialog);
    ExpectSameDialog(script, InfoDialog);
}

TEST(ResourceScriptTest, MenuAndCommandDescriptionsMatch) {
    const ResourceScript script;
    ASSERT_EQ(script.menu.size(), std::size(MainMenu));
    int commands = 0;
    for (size_t m = 0; m < script.menu.size(); ++m) {
        EXPECT_EQ(script.menu[m].title, MainMenu[m].title);
        ASSERT_EQ(script.menu[m].items.size(), MainMenu[m].count) << MainMenu[m].title;
        for (size_t i = 0; i < MainMenu[m].count; ++i) {
            const MenuItem& item = MainMenu[m].items[i];
            EXPECT_EQ(script.menu[m].items[i].first, item.text ? item.text : "");
            EXPECT_EQ(script.menu[m].items[i].second, item.text ? item.id : 0);
            if (item.text) ++commands;
        }
    }
    EXPECT_EQ(commands, 12);
    // One description for each of the twelve commands, 150 to 161.
    ASSERT_EQ(script.strings.size(), 12u);
    for (int id = 150; id <= 161; ++id) {
        ASSERT_NE(CommandDescription(id), nullptr) << id;
        EXPECT_EQ(script.strings.count(id) ? script.strings.at(id) : "", CommandDescription(id)) << id;
    }
}

}  // namespace
}  // namespace koru::test
