#pragma once
#include <cstdint>
#include <optional>
#include <string>

// The program's hierarchical key/value settings. Keys are paths below the
// program's root with '/' between the parts ("User Info",
// "Talmira/Security/Entry0"); values are 8-bit texts or 32-bit numbers.
// Every operation reports failure the way the platform store does, so the
// callers can show their own messages.
class SettingsStore {
public:
    virtual ~SettingsStore() = default;
    // True when the key exists.
    virtual bool OpenKey(const std::string& key) = 0;
    // Opens the key, creating it (and its parents) when missing.
    virtual bool CreateKey(const std::string& key) = 0;
    // Removes the key with its values and subkeys; false when it did not exist.
    virtual bool DeleteKey(const std::string& key) = 0;
    // Nothing when the key or the value is missing (or a number does not parse).
    virtual std::optional<std::string> ReadText(const std::string& key, const std::string& name) = 0;
    virtual std::optional<uint32_t> ReadNumber(const std::string& key, const std::string& name) = 0;
    // The key must exist; false when it does not or the store cannot be written.
    virtual bool WriteText(const std::string& key, const std::string& name, const std::string& value) = 0;
    virtual bool WriteNumber(const std::string& key, const std::string& name, uint32_t value) = 0;
};
