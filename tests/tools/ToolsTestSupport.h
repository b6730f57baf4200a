#pragma once
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

// A fresh install directory under the system temp folder, removed afterwards.
class CTempInstallDir {
public:
    CTempInstallDir()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "talmira-tools-XXXXXX").string();
        m_path = mkdtemp(pattern.data()) ? pattern : std::string();
        std::filesystem::create_directories(Plugins());
    }
    ~CTempInstallDir()
    {
        std::error_code ec;
        std::filesystem::remove_all(m_path, ec);
    }
    const std::string& Path() const { return m_path; }
    std::filesystem::path Plugins() const { return std::filesystem::path(m_path) / "plugins"; }
    void AddPlugin(const std::string& name, std::string_view content) const { Write(Plugins() / name, content); }
    static void Write(const std::filesystem::path& path, std::string_view content)
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(content.data(), static_cast<std::streamsize>(content.size()));
    }

private:
    std::string m_path;
};
