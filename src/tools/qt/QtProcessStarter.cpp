#include "tools/qt/QtProcessStarter.h"

#include <QFile>
#include <QProcess>
#include <QStringList>

bool CQtProcessStarter::StartDetached(const std::string& program, const std::vector<std::string>& args,
                                      const std::string& workingDirectory)
{
    QStringList arguments;
    arguments.reserve(static_cast<qsizetype>(args.size()));
    for (const std::string& a : args)
        arguments << QString::fromUtf8(a.data(), static_cast<qsizetype>(a.size())); // launch words are UTF-8
    m_lastPid = 0;
    return QProcess::startDetached(QFile::decodeName(QByteArray::fromStdString(program)), arguments,
                                   QFile::decodeName(QByteArray::fromStdString(workingDirectory)), &m_lastPid);
}
