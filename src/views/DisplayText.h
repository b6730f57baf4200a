#pragma once
#include <QString>

#include <string_view>

// Texts from the network and the cache are bytes: UTF-8 when they are valid
// UTF-8, else Latin-1 (every byte is a character there). Control characters
// and line or paragraph separators become blanks, so a name never breaks a
// row or a tree item over several lines.
QString DisplayText(std::string_view bytes);
