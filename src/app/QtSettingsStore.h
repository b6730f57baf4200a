#pragma once
#include <QSettings>

#include <memory>
#include <set>
#include <string>

#include "base/SettingsStore.h"

// The settings as an INI file. A key exists when it holds a value or a
// subkey, or when this store created it and it was not deleted since (an
// INI file cannot hold an empty section). Something other than a readable
// regular file at the path (a folder, FIFO, device) makes a store without
// keys that refuses every write.
class CQtSettingsStore final : public SettingsStore {
public:
    explicit CQtSettingsStore(const QString& iniPath);

    bool OpenKey(const std::string& key) override;
    bool CreateKey(const std::string& key) override;
    bool DeleteKey(const std::string& key) override;
    std::optional<std::string> ReadText(const std::string& key, const std::string& name) override;
    std::optional<uint32_t> ReadNumber(const std::string& key, const std::string& name) override;
    bool WriteText(const std::string& key, const std::string& name, const std::string& value) override;
    bool WriteNumber(const std::string& key, const std::string& name, uint32_t value) override;

    // A settings file is a few kilobytes; a larger one is not read.
    static constexpr size_t kMaxFileSize = size_t{4} << 20;

private:
    bool Sync();
    bool Write(const std::string& key, const std::string& name, const QVariant& value);
    bool Writable() const { return m_settings && m_settings->isWritable(); }
    std::unique_ptr<QSettings> m_settings;
    std::set<std::string> m_created;
};
