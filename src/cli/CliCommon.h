#pragma once
#include <QMap>
#include <QString>
#include <QStringList>

#include <functional>
#include <map>
#include <optional>
#include <string>

#include "base/Clock.h"
#include "base/Random.h"
#include "sdp/SDPObject.h"
#include "sdp/UsedAddresses.h"

class QJsonArray;
class QJsonObject;
class CEncryptionGroups;

// The system clock, the process's random draws and its used-address list,
// as every command that parses SDP needs them.
struct CCliEnvironment {
    CSystemClock clock;
    CSystemRandom random;
    CUsedAddressList used;
    CSdpEnvironment env{clock, random, &used};
};

// A sub-command of talmira-cli. `args` excludes the program and command
// names. Returns the exit status.
struct CCliCommand {
    QString usage;
    std::function<int(const QStringList& args)> run;
    // What `COMMAND --help` prints below the usage line; may be empty.
    QString help = {};
};

std::map<QString, CCliCommand>& CliCommands();

// Registers a command from a Cmd*.cpp file at start-up.
struct CCliRegistration {
    CCliRegistration(const QString& name, CCliCommand command) { CliCommands()[name] = std::move(command); }
};

// Reports a usage or input error: one line on stderr; returns the exit status.
int CliFail(const QString& message);

// The desktop program's own command line (-f FILE and the rest) read from
// a command's positional arguments.
class CCommandLine;
CCommandLine ProgramCommandLine(const QStringList& positionals);

// The command line as the bytes the process was given (main keeps them):
// Qt decodes arguments as UTF-8 and turns other bytes into U+FFFD.
void KeepRawArguments(int argc, char** argv);
// The bytes of the argument Qt decoded as `arg`; its UTF-8 when none matches.
std::string ArgumentBytes(const QString& arg);
void PrintJsonLine(const QJsonObject& object);
void PrintJsonLine(const QJsonArray& array);

// A regular file, or standard input for "-", of at most `limit` bytes.
std::optional<std::string> ReadInputFile(const QString& path, QString* error, size_t limit = size_t{64} << 20);
// The webhooks' signing secret: the file's text (at most 4 KiB) without its
// line end; nothing with `error` set when it cannot be read or is empty.
std::optional<std::string> ReadSecretFile(const QString& path, QString* error);

// Loads "ID<TAB>KEY<TAB>NAME" lines into the group table from entry 0 on.
bool LoadKeyFile(const QString& path, CEncryptionGroups& groups, QString* error);

// Simple option scanner: "--name value" pairs and flags; the rest are positionals.
class CCliArgs {
public:
    CCliArgs(const QStringList& args, const QStringList& valueOptions, const QStringList& flags);
    bool ok() const { return m_error.isEmpty(); }
    const QString& error() const { return m_error; }
    bool Has(const QString& name) const { return m_values.contains(name) || m_flags.contains(name); }
    QString Value(const QString& name, const QString& fallback = {}) const { return m_values.value(name, fallback); }
    // Every value a repeatable option was given, in order.
    QStringList Values(const QString& name) const { return m_repeated.value(name); }
    // A whole number within [min, max]; sets the error otherwise.
    std::optional<long long> Number(const QString& name, long long fallback, long long min, long long max);
    const QStringList& Positionals() const { return m_positionals; }

private:
    QMap<QString, QString> m_values;
    QMap<QString, QStringList> m_repeated;
    QStringList m_flags;
    QStringList m_positionals;
    QString m_error;
};
