#pragma once
#include <functional>
#include <string_view>

class CSessionList;

// Writes a list (directories with their children, to any depth) as the
// indented JSON array QJsonDocument makes of the whole tree, byte for byte,
// one record at a time: a cache of 100,000 sessions never exists twice in
// memory as JSON. The bytes go to `sink` in pieces of some tens of KB.
using JsonSink = std::function<void(std::string_view)>;
void WriteCacheJson(const CSessionList& list, const JsonSink& sink);
