#include "cli/CliCommon.h"

#include <vector>

#include "app/CommandLine.h"
#include "base/FileIO.h"
#include "sap/EncryptionGroups.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdio>
#include <unistd.h>

std::map<QString, CCliCommand>& CliCommands()
{
    static std::map<QString, CCliCommand> commands;
    return commands;
}

int CliFail(const QString& message)
{
    std::fprintf(stderr, "talmira-cli: %s\n", message.toLocal8Bit().constData());
    return 2;
}

static void PrintJsonLine(const QJsonDocument& document)
{
    const QByteArray line = document.toJson(QJsonDocument::Compact);
    std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

void PrintJsonLine(const QJsonObject& object) { PrintJsonLine(QJsonDocument(object)); }
void PrintJsonLine(const QJsonArray& array) { PrintJsonLine(QJsonDocument(array)); }

std::optional<std::string> ReadSecretFile(const QString& path, QString* error)
{
    auto secret = ReadInputFile(path, error, 4096);
    if (!secret)
        return std::nullopt;
    while (!secret->empty() && (secret->back() == '\n' || secret->back() == '\r'))
        secret->pop_back();
    if (secret->empty()) {
        *error = "the secret file is empty";
        return std::nullopt;
    }
    return secret;
}

std::optional<std::string> ReadInputFile(const QString& path, QString* error, size_t limit)
{
    fileio::CReadResult input = path == "-" ? fileio::ReadDescriptor(STDIN_FILENO, limit)
                                            : fileio::ReadRegularFile(QFile::encodeName(path).toStdString(), limit);
    if (!input.Ok()) {
        if (error)
            *error = QString("cannot read %1: %2").arg(path, QString::fromStdString(input.Reason()));
        return std::nullopt;
    }
    return std::move(input.bytes);
}

bool LoadKeyFile(const QString& path, CEncryptionGroups& groups, QString* error)
{
    auto content = ReadInputFile(path, error);
    if (!content)
        return false;
    int index = 0, lineNo = 0;
    size_t pos = 0;
    while (pos < content->size()) {
        size_t end = content->find('\n', pos);
        if (end == std::string::npos)
            end = content->size();
        std::string line = content->substr(pos, end - pos);
        pos = end + 1;
        ++lineNo;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty())
            continue;
        const size_t t1 = line.find('\t');
        const size_t t2 = t1 == std::string::npos ? t1 : line.find('\t', t1 + 1);
        bool numberOk = false;
        const long long id = t1 == std::string::npos ? 0 : QString::fromStdString(line.substr(0, t1)).toLongLong(&numberOk);
        if (t2 == std::string::npos || !numberOk || id < 0 || id > 2147483647) {
            if (error)
                *error = QString("%1:%2: expected ID<TAB>KEY<TAB>NAME").arg(path).arg(lineNo);
            return false;
        }
        if (index >= CEncryptionGroups::kCount) {
            if (error)
                *error = QString("%1: more than %2 groups").arg(path).arg(CEncryptionGroups::kCount);
            return false;
        }
        CEncryptionGroup& g = groups[index++];
        g.id = static_cast<int32_t>(id);
        g.key = line.substr(t1 + 1, t2 - t1 - 1);
        g.name = line.substr(t2 + 1);
    }
    return true;
}

CCliArgs::CCliArgs(const QStringList& args, const QStringList& valueOptions, const QStringList& flags)
{
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a.startsWith("--") && a.size() > 2) {
            if (valueOptions.contains(a)) {
                if (i + 1 >= args.size()) {
                    m_error = QString("option %1 needs a value").arg(a);
                    return;
                }
                m_values[a] = args[++i];
                m_repeated[a] << m_values[a];
            } else if (flags.contains(a)) {
                m_flags << a;
            } else {
                m_error = QString("unknown option %1").arg(a);
                return;
            }
        } else {
            m_positionals << a;
        }
    }
}

std::optional<long long> CCliArgs::Number(const QString& name, long long fallback, long long min, long long max)
{
    if (!m_values.contains(name))
        return fallback;
    bool ok = false;
    const long long v = m_values[name].toLongLong(&ok);
    if (!ok || v < min || v > max) {
        m_error = QString("%1 must be a number from %2 to %3").arg(name).arg(min).arg(max);
        return std::nullopt;
    }
    return v;
}

namespace {
std::vector<std::string>& RawArguments()
{
    static std::vector<std::string> raw;
    return raw;
}
} // namespace

void KeepRawArguments(int argc, char** argv)
{
    RawArguments().assign(argv, argv + argc);
}

std::string ArgumentBytes(const QString& arg)
{
    for (const std::string& raw : RawArguments())
        if (QString::fromLocal8Bit(raw) == arg)
            return raw;
    return arg.toStdString();
}

CCommandLine ProgramCommandLine(const QStringList& positionals)
{
    CCommandLine commandLine;
    std::vector<std::string> plain;
    for (const QString& p : positionals)
        plain.push_back(p.toStdString());
    commandLine.ParseCommandLine(plain);
    return commandLine;
}
