#pragma once
#include <QString>

#include <memory>
#include <string>

class Clock;
class CSDPObject;
class Prompter;
class Random;

// A session for the commands that take FILE.sdp|SESSION-ID: an SDP file
// (or "-" for standard input), else the session with that id in a copy of
// the cache of `installDir`. Null with `error` set when there is none.
std::shared_ptr<CSDPObject> LoadSession(const QString& input, const std::string& installDir, Prompter& prompter,
                                        const Clock& clock, Random& random, QString* error);

// Looks a session up in a copy of the cache, so that nothing the store does
// on a corrupt cache or on closing touches the user's files.
std::shared_ptr<CSDPObject> SessionFromCache(const std::string& installDir, const std::string& id, Prompter& prompter,
                                             const Clock& clock, Random& random, QString* error);
