#pragma once
#include <QString>

#include <string_view>

// Texts from the network and the cache are bytes: UTF-8 when they are valid
// UTF-8, else Latin-1 (every byte is a character there). Control characters
// and line or paragraph separators become blanks, so a name never breaks a
// row or a tree item over several lines.
QString DisplayText(std::string_view bytes);

// What stands, greyed, for a name the announcement left empty (no "s="
// line); the record keeps its empty name.
inline constexpr const char* kNoNameText = "(no name)";
// The name as DisplayText, or kNoNameText for an empty one.
QString NameText(std::string_view name);
