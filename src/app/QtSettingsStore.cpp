#include "app/QtSettingsStore.h"

#include "base/FileIO.h"

#include <QFile>
#include <QStringList>

namespace {
QString Q(const std::string& s)
{
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

QString Path(const std::string& key, const std::string& name)
{
    return Q(key) + "/" + Q(name);
}
} // namespace

CQtSettingsStore::CQtSettingsStore(const QString& iniPath)
{
    // QSettings reads the file as soon as it is made, and would block on a
    // FIFO or read a device without end.
    const auto probe = fileio::ProbeRegularFile(QFile::encodeName(iniPath).toStdString(), kMaxFileSize);
    if (probe.Ok() || probe.status == fileio::EReadStatus::Missing)
        m_settings = std::make_unique<QSettings>(iniPath, QSettings::IniFormat);
}

bool CQtSettingsStore::OpenKey(const std::string& key)
{
    if (m_created.count(key))
        return true;
    if (!m_settings)
        return false;
    m_settings->beginGroup(Q(key));
    const bool exists = !m_settings->childKeys().isEmpty() || !m_settings->childGroups().isEmpty();
    m_settings->endGroup();
    return exists;
}

bool CQtSettingsStore::CreateKey(const std::string& key)
{
    if (!Writable())
        return false;
    for (size_t slash = key.find('/'); slash != std::string::npos; slash = key.find('/', slash + 1))
        m_created.insert(key.substr(0, slash));
    m_created.insert(key);
    return true;
}

bool CQtSettingsStore::DeleteKey(const std::string& key)
{
    if (!OpenKey(key) || !Writable())
        return false;
    m_settings->remove(Q(key));
    const std::string below = key + "/";
    for (auto it = m_created.begin(); it != m_created.end();)
        it = (*it == key || it->rfind(below, 0) == 0) ? m_created.erase(it) : std::next(it);
    return Sync();
}

bool CQtSettingsStore::Sync()
{
    m_settings->sync();
    // The file holds the encryption keys: for its owner only. A rewrite
    // keeps the mode of the file it replaces.
    QFile::setPermissions(m_settings->fileName(), QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    return m_settings->status() == QSettings::NoError;
}

std::optional<std::string> CQtSettingsStore::ReadText(const std::string& key, const std::string& name)
{
    if (!m_settings)
        return std::nullopt;
    const QVariant value = m_settings->value(Path(key, name));
    if (!value.isValid())
        return std::nullopt;
    // An unquoted value with commas comes back from an INI file as a list.
    const QString text = value.typeId() == QMetaType::QStringList ? value.toStringList().join(", ") : value.toString();
    const QByteArray bytes = text.toUtf8();
    return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
}

std::optional<uint32_t> CQtSettingsStore::ReadNumber(const std::string& key, const std::string& name)
{
    if (!m_settings)
        return std::nullopt;
    const QVariant value = m_settings->value(Path(key, name));
    if (!value.isValid())
        return std::nullopt;
    bool ok = false;
    const uint number = value.toString().trimmed().toUInt(&ok);
    if (!ok)
        return std::nullopt;
    return static_cast<uint32_t>(number);
}

bool CQtSettingsStore::Write(const std::string& key, const std::string& name, const QVariant& value)
{
    if (!OpenKey(key) || !Writable())
        return false;
    m_settings->setValue(Path(key, name), value);
    return Sync();
}

bool CQtSettingsStore::WriteText(const std::string& key, const std::string& name, const std::string& value)
{
    return Write(key, name, Q(value));
}

bool CQtSettingsStore::WriteNumber(const std::string& key, const std::string& name, uint32_t value)
{
    return Write(key, name, QVariant(static_cast<uint>(value)));
}
